#include "tarvel/listing.hpp"

#include "common/format.hpp"
#include "common/freeform.hpp"
#include "common/names.hpp"
#include "common/tokenizer.hpp"

#include <algorithm>

namespace tarvel {
namespace {

constexpr std::size_t effect_name_width = 20;
constexpr std::size_t trait_name_width = 16;

// A text without blanks on either side.
std::string stripped(std::string_view text) {
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    return std::string(text.substr(first, text.find_last_not_of(' ') - first + 1));
}

// A banner line: 18 blanks, "*", the text centred in 89 columns, "*", a blank.
std::string banner_line(std::string_view text) {
    constexpr std::size_t interior = 89;
    const std::size_t left = (interior - text.size()) / 2;
    std::string line(18, ' ');
    line += '*';
    line += std::string(left, ' ');
    line += text;
    line += std::string(interior - left - text.size(), ' ');
    line += "* ";
    return line;
}

void write_text(tk::TextWriter& out, std::string_view text) { tk::write_formatted(out, "(A)", {text}); }

// The item specification of the matrix printer, for example "9(G13.6)".
struct ItemSpec {
    std::string text;      // without surrounding blanks
    std::string count;     // the text before the first "("
    int columns = 0;       // c: values per block
    int width = 0;         // w: the width of one value
    bool exponent = false; // G or E values (else F)
};

int read_i2(std::string_view text) {
    std::int32_t value = 0;
    const tk::ReadResult r = tk::read_internal(tk::pad(stripped(text), 2), "(I2)", {value});
    return r.ok() ? value : 0;
}

ItemSpec parse_item_spec(std::string_view text) {
    ItemSpec item;
    item.text = stripped(text);
    const std::size_t open = item.text.find('(');
    item.count = stripped(std::string_view(item.text).substr(0, open));
    std::size_t i = open == std::string::npos ? item.text.size() : open + 1;
    while (i < item.text.size() && item.text[i] == ' ') ++i;
    const char letter = i < item.text.size() ? item.text[i] : ' ';
    item.exponent = letter == 'G' || letter == 'g' || letter == 'E' || letter == 'e';
    // The width: the first run of digits after the letter.
    const auto is_digit = [](char ch) { return ch >= '0' && ch <= '9'; };
    std::size_t first = std::min(i + 1, item.text.size());
    while (first < item.text.size() && !is_digit(item.text[first])) ++first;
    std::size_t last = first;
    while (last < item.text.size() && is_digit(item.text[last])) ++last;
    item.columns = read_i2(item.count);
    item.width = read_i2(std::string_view(item.text).substr(first, last - first));
    return item;
}

std::string row_format(const ItemSpec& item) { return "(1X,I3,' |',2X," + item.text + ")"; }

std::string column_number_format(const ItemSpec& item, int mode) {
    if (item.exponent) return "(4X,' |',2X," + item.count + "(I" + std::to_string(item.width - 4) + ",4X))";
    if (mode == 99) return "(4X,' |'," + item.count + "(I" + std::to_string(item.width + 2) + "))";
    return "(4X,' |',2X," + item.count + "(I" + std::to_string(item.width) + "))";
}

std::string dotted_line_format(const ItemSpec& item, int mode, int k) {
    const int dots = mode == 99 ? k * (item.width + 2) : k * item.width;
    return "(1X,'....|..'," + tk::write_internal("(I3)", {dots}, 3) + "(1H.))";
}

// "For Effect : " and the source's name, as a free-form record.
void write_effect_caption(tk::TextWriter& out, std::string_view name) {
    const std::string padded = tk::pad(name, effect_name_width);
    tk::write_list(out, {"For Effect : ", padded});
}

}  // namespace

// ------------------------------------------------------------ run header

void write_banner(tk::TextWriter& out) {
    std::string rule(18, ' ');
    for (int i = 0; i < 46; ++i) rule += "* ";
    const std::string lines[] = {
        rule,
        banner_line(""),
        banner_line("A N A L Y S I S   O F   V A R I A N C E   A N D   C O V A R I A N C E"),
        banner_line("U S I N G   G E N E R A L   L I N E A R   M O D E L S"),
        banner_line("(Type I -- Sequential/Hierarchical Model)"),
        banner_line(""),
        banner_line("VORNA version 1.0"),
        banner_line(""),
        rule,
    };
    for (const std::string& line : lines) tk::write_formatted(out, "(a)", {line});
    for (int i = 0; i < 3; ++i) tk::write_formatted(out, "(a)", {" "});
}

void write_run_header_start(tk::TextWriter& out, std::span<const int> largest_level, int trait_count,
                            std::span<const std::string> factor_names) {
    write_banner(out);
    const std::vector<std::string> names = tk::distinct_names(factor_names, effect_name_width);
    for (std::size_t g = 0; g < names.size(); ++g) {
        const std::string name = tk::pad(names[g], effect_name_width);
        tk::write_formatted(out, "(21X,' Levels of Factor ',A20,'= '," + tk::count_descriptor(largest_level[g], 4) + ")",
                            {name, largest_level[g]});
    }
    for (std::size_t g = 0; g < largest_level.size() && names.empty(); ++g) {
        // Factor g is shown by the (g+1)-th capital letter, in a 20-character text.
        const std::string letter = tk::pad(std::string(1, static_cast<char>('A' + g)), 20);
        tk::write_formatted(out, "(21X,' Maximal Level of Factor ',A5,'        = '," +
                                     tk::count_descriptor(largest_level[g], 4) + ")",
                            {letter, largest_level[g]});
    }
    tk::write_formatted(out,
                        "(/,21X,' Number of Traits                     = ',I4,/,/,21X,' Effects Accounted for Are : ')",
                        {trait_count});
}

void write_run_header_end(tk::TextWriter& out, const ColumnLayout& layout, std::span<const std::string> trait_names,
                          std::int64_t cases_accepted, std::int64_t cases_skipped, const CaseReport* problems) {
    // "Mean", then each effect at the first of its columns: an effect whose
    // columns were all dropped does not appear. A new source starts a new
    // effect (two neighbouring effects of the same name are two sources).
    const std::vector<std::string> sources = tk::distinct_names(layout.source_names, effect_name_width);
    for (int c = 0; c < layout.p; ++c) {
        const std::size_t cs = static_cast<std::size_t>(c);
        if (c > 0 && layout.column_source[cs] == layout.column_source[cs - 1]) continue;
        const std::string label = tk::pad(sources[static_cast<std::size_t>(layout.column_source[cs])], effect_name_width);
        tk::write_formatted(out, "(1X,T62,A20)", {label});
    }
    std::vector<std::string> names;
    for (const std::string& name : tk::distinct_names(trait_names, trait_name_width))
        names.push_back(tk::pad(name, trait_name_width));
    const std::vector<tk::Item> items(names.begin(), names.end());
    tk::write_formatted(out, "(/,21X,' Traits Analyzed Are :     ',(T62,A16))", items);
    tk::write_list(out, {"  "});
    tk::write_formatted(out,
                        "(22X,A," + tk::count_descriptor(cases_accepted, 6) + ",T73,A," +
                            tk::count_descriptor(cases_skipped, 6) + ")",
                        {"Numbers of Cases Accepted = ", static_cast<long long>(cases_accepted),
                         "Numbers of Cases Skipped  = ", static_cast<long long>(cases_skipped)});
    if (problems) write_case_report_note(out, *problems);
    tk::write_formatted(out, "(/,64(' *'))", {});
}

// ------------------------------------------------------------ expected mean squares

namespace {

std::vector<std::string> shortened_names(const std::vector<std::string>& names, std::size_t width,
                                         NameShortening shortening) {
    if (shortening == NameShortening::distinct) return tk::distinct_names(names, width);
    std::vector<std::string> cut;
    for (const std::string& name : names) cut.push_back(name.substr(0, width));
    return cut;
}

}  // namespace

void write_ems_table(tk::TextWriter& out, const ExpectedMeanSquares& ems, NameShortening shortening) {
    tk::write_formatted(out,
                        "(/,/,1X,'Expectations of Mean Squares and Mean Products',/,1X,'==============================================',/)",
                        {});
    std::vector<std::string> labels;
    for (const EmsRow& row : ems.rows) labels.push_back(row.label);
    const std::vector<std::string> heads = shortened_names(labels, 16, shortening);
    const std::vector<std::string> rows = shortened_names(labels, effect_name_width, shortening);
    std::vector<std::string> names;
    for (auto head = heads.rbegin(); head != heads.rend(); ++head) names.push_back(tk::pad(*head, effect_name_width));
    const std::vector<tk::Item> header(names.begin(), names.end());
    tk::write_formatted(out, "(' Source                    df',7X,6A16,/,(36X,6A16))", header);
    write_text(out, "  ");
    for (std::size_t r = 0; r < ems.rows.size(); ++r) {
        const EmsRow& row = ems.rows[r];
        const std::string label = tk::pad(rows[r], effect_name_width);
        std::vector<tk::Item> items{label, row.df};
        for (double w : row.w) items.emplace_back(w);
        tk::write_formatted(out, "(2X,A20," + tk::count_descriptor(row.df, 7) + ",4X,6G16.8,/,(33X,6G16.8))", items);
    }
}

std::string left_out_note(const ColumnLayout& layout, int effect) {
    const EffectColumns& ec = layout.effects[static_cast<std::size_t>(effect)];
    const std::string name(tk::significant(ec.name));
    const std::string why = ec.level_count == 0 ? " has fewer than two levels in the data and no columns"
                                                : " has no degrees of freedom after the effects before it";
    return " Note: effect " + name + why +
           "; it is left out of the component equations and its component is shown as 0.";
}

void write_left_out_notes(tk::TextWriter& out, const ColumnLayout& layout, const ExpectedMeanSquares& ems) {
    for (int e : ems.left_out_effects) write_text(out, left_out_note(layout, e));
}

// ------------------------------------------------------------ trait pairs

void write_variance_heading(tk::TextWriter& out, std::string_view trait_name) {
    // Padded to 16 characters, and never cut: the heading has room for any name.
    const std::string name = tk::pad(trait_name, std::max(trait_name_width, tk::significant_length(trait_name)));
    tk::write_formatted(
        out,
        "(/,/,1X,'Analysis of Variances',/,1X,'=====================',/,/,' For : ',A,/,/,1X,' Source                   DF       S. S.            M. S.          Var. Est.        Var. S.D.          Satterthwaite''s',/,'                                                                                                    --------------------  Prob.')",
        {name});
}

void write_covariance_heading(tk::TextWriter& out, std::string_view first_trait, std::string_view second_trait) {
    const std::string_view first = tk::significant(first_trait);
    const std::string_view second = tk::significant(second_trait);
    tk::write_formatted(
        out,
        "(/,/,1X,'Analysis of Covariances',/,1X,'=======================',/,/,' For : ',A,' - and - ',A,/,/,1X,' Source                   DF       C. P.           M. C. P.        Cov. Est.        Cov. S.D.          Satterthwaite''s',/,'                                                                                                    --------------------  Prob.')",
        {first, second});
}

namespace {

// "(I8)", or wider for a count that does not fit.
std::string count_format(long long value, int width) {
    std::string format(1, '(');
    format += tk::count_descriptor(value, width);
    format += ')';
    return format;
}

}  // namespace

void write_pair_table(tk::TextWriter& out, const PairAnalysis& pair, std::span<const std::string> source_names) {
    const std::size_t residual = pair.ss.size() - 1;
    const std::string mean = tk::pad("Mean", effect_name_width);
    tk::write_formatted(out, "(2X,A20," + tk::count_descriptor(pair.df[0], 7) + ",2X,4G17.9,'   F Values     D.F.') ",
                        {mean, pair.df[0], pair.ss[0], pair.ms[0], pair.vc[0], pair.sd[0]});
    tk::write_list(out, {});
    for (std::size_t a = 1; a < residual; ++a) {
        const std::string name = tk::pad(source_names[a], effect_name_width);
        std::vector<tk::Item> items{name,          pair.df[a], pair.ss[a], pair.ms[a], pair.vc[a],
                                    pair.sd[a],    pair.f[a],  pair.satterthwaite_df[a]};
        // Without a test the record ends after the degrees of freedom.
        if (pair.has_probability(static_cast<int>(a))) items.emplace_back(pair.probability[a]);
        tk::write_formatted(out, "(2X,A20," + tk::count_descriptor(pair.df[a], 7) + ",2X,4G17.9,F10.3,F10.2,:,F7.3)",
                            items);
    }
    tk::write_formatted(out, "(2X,'Error',I22,2X,4G17.9,:,/,' ',/,2X,'Total',I22,2X,G17.9)",
                        {pair.df[residual], pair.ss[residual], pair.ms[residual], pair.vc[residual],
                         pair.sd[residual], static_cast<long long>(pair.total_row_df), pair.corrected_total});
    if (pair.s != pair.u) return;
    // The column count (the mean included) and the model's degrees of freedom.
    const std::string columns = stripped(tk::write_internal(count_format(pair.design_columns, 8), {pair.design_columns}, 16));
    const std::string df = stripped(tk::write_internal(count_format(pair.total_df, 8), {pair.total_df}, 16));
    tk::write_formatted(out,
                        "(/,1X,'+--------+',/,1X,'|Summary |',/,1X,'+--------+',/,1X,A,' Effects with ',A,' Degree of Freedom.',/,1X,'Total SS Accounted For By Effects (except Mean)',G20.12,'(',F5.2,'%)')",
                        {columns, df, pair.accounted, pair.accounted_percent});
}

void write_pair_tables(tk::TextWriter& out, std::span<const PairAnalysis> pairs,
                       std::span<const std::string> trait_names, std::span<const std::string> all_source_names) {
    const std::vector<std::string> source_names = tk::distinct_names(all_source_names, effect_name_width);
    // The variance heading of s opens the pairs of s; the covariance heading
    // of (s, u) comes after the table of (s, u - 1).
    for (const PairAnalysis& pair : pairs) {
        const std::string& first = trait_names[static_cast<std::size_t>(pair.s)];
        if (pair.s == pair.u)
            write_variance_heading(out, first);
        else
            write_covariance_heading(out, first, trait_names[static_cast<std::size_t>(pair.u)]);
        write_pair_table(out, pair, source_names);
    }
}

// ------------------------------------------------------------ trait matrices

void write_triangular_matrix(tk::TextWriter& out, const tk::Matrix& m, std::string_view item_spec, int mode) {
    const ItemSpec item = parse_item_spec(item_spec);
    const int c = std::max(item.columns, 1);
    const std::string rows = row_format(item);
    const std::string numbers = column_number_format(item, mode);
    for (int o = 0; o < m.cols; o += c) {
        const int k = std::min(c, m.cols - o);
        write_text(out, "  ");
        write_text(out, "  ");
        std::vector<tk::Item> header;
        for (int j = o; j < o + k; ++j) header.emplace_back(j + 1);
        tk::write_formatted(out, numbers, header);
        tk::write_formatted(out, dotted_line_format(item, mode, k), {});
        // Triangular modes start at the block's first column: the rows above
        // it have nothing in this block.
        for (int r = mode != 0 ? o : 0; r < m.rows; ++r) {
            const int last = mode != 0 ? std::min(o + k, r + 1) : o + k;
            std::vector<tk::Item> values{r + 1};
            for (int j = o; j < last; ++j) values.emplace_back(m(r, j));
            tk::write_formatted(out, rows, values);
        }
    }
    write_text(out, "  ");
}

void write_effect_matrices(tk::TextWriter& out, const TraitTable& table, std::span<const std::string> source_names,
                           std::string_view item_spec) {
    const int t = table.t;
    tk::Matrix work(t, t);
    for (int k = 0; k < table.rows; ++k) {
        write_text(out, "  ");
        write_effect_caption(out, source_names[static_cast<std::size_t>(k)]);
        for (int a = 0; a < t; ++a) {
            work(a, a) = table(k, a, a);
            for (int b = a + 1; b < t; ++b) work(a, b) = work(b, a) = table(k, a, b);
        }
        write_triangular_matrix(out, work, item_spec, 1);
    }
    tk::write_list(out, {" "});
    tk::write_list(out, {" "});
    write_text(out, " Note:  The integer numbers 1, 2, ... in above tabels are the sequential");
    tk::write_formatted(out, "(A//)", {"        codes of traits analyzed."});
}

void write_correlations(tk::TextWriter& out, const TraitTables& tables, std::span<const std::string> source_names) {
    const TraitTable& v = tables.variance;
    tk::write_formatted(out,
                        "(/,/,1X,'Correlations of Variance Components Between Traits',/,' ==================================================',/)",
                        {});
    tk::Matrix work(v.t, v.t);
    for (int k = 0; k < v.rows; ++k) {
        write_text(out, "  ");
        write_effect_caption(out, source_names[static_cast<std::size_t>(k)]);
        for (int a = 0; a < v.t; ++a) {
            work(a, a) = 1.0;
            // The lower half holds the correlation or the not-computable marker.
            for (int b = a + 1; b < v.t; ++b) work(a, b) = work(b, a) = v(k, b, a);
        }
        write_triangular_matrix(out, work, "9(F7.4,2X)", 99);
    }
    tk::write_list(out, {" "});
    tk::write_list(out, {" "});
    write_text(out, " Notes: (1) The integer numbers 1, 2, ... in above tabels are the sequential");
    write_text(out, "            codes of traits analyzed.");
    if (tables.marker_flag == -1) {
        write_text(out, "        (2) The symbol ' ******* ' indicates this item can not be calculated");
        write_text(out, "            due to zero or negative variance component(s).");
    }
}

std::vector<std::string> matrix_source_names(const ColumnLayout& layout) {
    std::vector<std::string> names;
    for (const EffectColumns& ec : layout.effects) names.push_back(ec.name);
    names.emplace_back("Error");
    return names;
}

void write_matrix_sections(tk::TextWriter& out, const TraitTables& tables, const ColumnLayout& layout,
                           const OutputSwitches& switches) {
    const std::vector<std::string> names = tk::distinct_names(matrix_source_names(layout), effect_name_width);
    if (switches.ss && tables.sums_of_squares.kept() && tables.sums_of_squares.t > 1) {
        tk::write_formatted(out, "(/,/,1X,'Matrices of S.S / S.C.P.',/,' ========================',/)", {});
        write_effect_matrices(out, tables.sums_of_squares, names, "9(G13.6)");
    }
    if (switches.ms && tables.mean_squares.kept() && tables.mean_squares.t > 1) {
        tk::write_formatted(out, "(/,/,1X,'Matrices of M.S / M.C.P.',/,' ========================',/)", {});
        write_effect_matrices(out, tables.mean_squares, names, "9(G13.6)");
    }
    const bool variances = tables.variance.kept() && tables.variance.t > 1;
    if (switches.vc && variances) {
        tk::write_formatted(out, "(/,/,1X,'Matrices of Variance Estimates',/,' ==============================',/)", {});
        // Reads the upper half: covariances, not the correlations below.
        write_effect_matrices(out, tables.variance, names, "9(G13.6)");
    }
    if (switches.cr && variances) write_correlations(out, tables, names);
}

// ------------------------------------------------------------ the whole listing

void write_analysis_listing(tk::TextWriter& out, const RunHeader& header, const ColumnLayout& layout,
                            const ExpectedMeanSquares& ems, std::span<const PairAnalysis> pairs,
                            const TraitTables& tables, const OutputSwitches& switches) {
    write_run_header_start(out, header.largest_level, header.trait_count);
    write_run_header_end(out, layout, header.trait_names, header.cases_accepted, header.cases_skipped,
                         &header.problems);
    write_analysis_sections(out, header.trait_names, layout, ems, pairs, tables, switches);
}

void write_analysis_sections(tk::TextWriter& out, std::span<const std::string> trait_names,
                             const ColumnLayout& layout, const ExpectedMeanSquares& ems,
                             std::span<const PairAnalysis> pairs, const TraitTables& tables,
                             const OutputSwitches& switches, NameShortening shortening) {
    write_ems_table(out, ems, shortening);
    write_left_out_notes(out, layout, ems);
    write_pair_tables(out, pairs, trait_names, layout.source_names);
    write_matrix_sections(out, tables, layout, switches);
}

}  // namespace tarvel
