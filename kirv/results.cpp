#include "kirv/results.hpp"

#include "common/format.hpp"
#include "common/freeform.hpp"
#include "common/names.hpp"
#include "common/tokenizer.hpp"

#include <cstddef>
#include <span>

namespace kirv {
namespace {

std::size_t at(int k) { return static_cast<std::size_t>(k); }

void blank_record(tk::TextWriter& out) { tk::write_formatted(out, "(A)", {" "}); }

void text_record(tk::TextWriter& out, std::string_view text) { tk::write_formatted(out, "(A)", {text}); }

// A name as a whole 16-character item: an A8 descriptor shows its first
// eight characters, left-aligned however short the name is.
std::string name_item(const std::string& name) { return tk::pad(name, trait_name_length); }

// The names as the A8 fields show them: longer ones shortened so that no two look alike.
constexpr std::size_t shown_name_length = 8;
std::vector<std::string> shown_names(const std::vector<std::string>& names) {
    return tk::distinct_names(names, shown_name_length);
}

void write_names(tk::TextWriter& out, std::string_view format, const std::vector<std::string>& names) {
    std::vector<std::string> padded;
    for (const std::string& name : names) padded.push_back(name_item(name));
    const std::vector<tk::Item> items(padded.begin(), padded.end());
    tk::write_formatted(out, format, items);
}

// One record per row i: the name of trait i and the row x(i, 0..t-1).
void write_named_rows(tk::TextWriter& out, std::string_view format, const tk::Matrix& x,
                      const std::vector<std::string>& names) {
    std::vector<tk::Item> items;
    for (int i = 0; i < x.rows; ++i) {
        const std::string name = name_item(names[at(i)]);
        items.clear();
        items.emplace_back(name);
        for (int j = 0; j < x.cols; ++j) items.emplace_back(x(i, j));
        tk::write_formatted(out, format, items);
    }
}

void write_values(tk::TextWriter& out, std::string_view format, const std::vector<double>& x) {
    const std::vector<tk::Item> items(x.begin(), x.end());
    tk::write_formatted(out, format, items);
}

void open_block(tk::TextWriter& out, std::string_view heading) {
    blank_record(out);
    blank_record(out);
    text_record(out, heading);
    blank_record(out);
}

void matrix_block(tk::TextWriter& out, std::string_view heading, const tk::Matrix& x,
                  const std::vector<std::string>& names) {
    open_block(out, heading);
    write_names(out, "(13X,1000(A8,7X))", names);
    blank_record(out);
    write_named_rows(out, "(A8,2X,1000G15.8)", x, names);
}

void heritability_block(tk::TextWriter& out, std::string_view heading, const Heritabilities& h,
                        const std::vector<std::string>& names) {
    open_block(out, heading);
    write_names(out, "(7X,1000(A8,7X))", names);
    blank_record(out);
    write_values(out, "(1000F15.8)", h.h2);
    write_values(out, "(1000F15.8)", h.se);
}

void correlation_block(tk::TextWriter& out, std::string_view heading, const tk::Matrix& r,
                       const std::vector<std::string>& names) {
    open_block(out, heading);
    write_names(out, "(16X,1000(A8,7X))", names);
    blank_record(out);
    write_named_rows(out, "(A8,1X,1000F15.8)", r, names);
}

// The headings of result blocks 1 to 10 (print flag k, 0-based).
constexpr const char* block_headings[print_flag_count] = {
    "",
    "** GENETIC VARIANCE-COVARIANCE MATRIX (G_GROUP LEVEL) **",
    "** PHENOTYPIC VARIANCE-COVARIANCE MATRIX (G_GROUP LEVEL) **",
    "** GENETIC VARIANCE-COVARIANCE MATRIX (INDIVIDUAL LEVEL) **",
    "** PHENOTYPIC VARIANCE-COVARIANCE MATRIX (INDIVIDUAL LEVEL) **",
    "** G_GROUP HERITABILITIES AND THEIR STANDARD ERRORS **",
    "** INDIVIDUAL HERITABILITIES AND THEIR STANDARD ERRORS **",
    "** GENETIC CORRELATIONS **",
    "** STANDARD ERRORS OF GENETIC CORRELATIONS **",
    "** PHENOTYPIC CORRELATIONS **",
    "** STANDARD ERRORS OF PHENOTYPIC CORRELATIONS **",
};

// Result block k (1 to 10).
void write_block(tk::TextWriter& out, const Results& res, const std::vector<std::string>& names, int k) {
    const char* heading = block_headings[at(k)];
    switch (k) {
        case 1: matrix_block(out, heading, res.group.genetic, names); break;
        case 2: matrix_block(out, heading, res.group.phenotypic, names); break;
        case 3: matrix_block(out, heading, res.individual.genetic, names); break;
        case 4: matrix_block(out, heading, res.individual.phenotypic, names); break;
        case 5: heritability_block(out, heading, res.group_h2, names); break;
        case 6: heritability_block(out, heading, res.individual_h2, names); break;
        case 7: correlation_block(out, heading, res.genetic.r, names); break;
        case 8: correlation_block(out, heading, res.genetic.se, names); break;
        case 9: correlation_block(out, heading, res.phenotypic.r, names); break;
        case 10: correlation_block(out, heading, res.phenotypic.se, names); break;
        default: break;
    }
}

constexpr int first_result_block = 1;
constexpr int last_result_block = 10;
constexpr int after_the_blocks = -1;

// The block a note follows: the first printed one of the blocks it is about,
// or, when none of them is printed, the end of the results.
int note_block(NoteSubject subject, const PrintFlags& flags) {
    std::vector<int> blocks;
    switch (subject) {
        case NoteSubject::components: blocks = {1, 3, 2, 4}; break;
        case NoteSubject::genetic_matrix: blocks = {1, 3}; break;
        case NoteSubject::group_h2: blocks = {5}; break;
        case NoteSubject::individual_h2: blocks = {6}; break;
        case NoteSubject::genetic_r: blocks = {7, 8}; break;
        case NoteSubject::phenotypic_r: blocks = {9, 10}; break;
    }
    for (int k : blocks)
        if (flags[at(k)] == 1) return k;
    return after_the_blocks;
}

// The notes that follow block k, each opened by a blank record.
void write_notes(tk::TextWriter& out, const Results& res, const std::vector<std::string>& names,
                 const PrintFlags& flags, int k) {
    for (NoteSubject subject : {NoteSubject::components, NoteSubject::genetic_matrix, NoteSubject::group_h2,
                                NoteSubject::individual_h2, NoteSubject::genetic_r, NoteSubject::phenotypic_r}) {
        if (note_block(subject, flags) != k) continue;
        const std::vector<std::string> lines = estimate_note(res.checks, subject, names);
        if (lines.empty()) continue;
        blank_record(out);
        for (const std::string& line : lines) tk::write_formatted(out, "(1X,A)", {line});
    }
}

void write_listing(tk::TextWriter& out, const Results& res, const std::vector<std::string>& trait_names,
                   const PrintFlags& flags) {
    const std::vector<std::string> names = shown_names(trait_names);
    for (int k = first_result_block; k <= last_result_block; ++k) {
        if (flags[at(k)] != 1) continue;  // only the value 1 prints a block
        write_block(out, res, names, k);
        write_notes(out, res, names, flags, k);
    }
    write_notes(out, res, names, flags, after_the_blocks);
    blank_record(out);
}

// t records, record i holding row i.
void summary_rows(tk::TextWriter& out, const tk::Matrix& x) {
    std::vector<double> row(at(x.cols));
    for (int i = 0; i < x.rows; ++i) {
        for (int j = 0; j < x.cols; ++j) row[at(j)] = x(i, j);
        tk::write_list(out, std::span<const double>(row));
    }
}

void write_summary(tk::TextWriter& out, const Results& res) {
    summary_rows(out, res.group.genetic);
    summary_rows(out, res.group.phenotypic);
    summary_rows(out, res.individual.genetic);
    summary_rows(out, res.individual.phenotypic);
    tk::write_list(out, std::span<const double>(res.group_h2.h2));
    tk::write_list(out, std::span<const double>(res.group_h2.se));
    tk::write_list(out, std::span<const double>(res.individual_h2.h2));
    tk::write_list(out, std::span<const double>(res.individual_h2.se));
    summary_rows(out, res.genetic.r);
    summary_rows(out, res.genetic.se);
    summary_rows(out, res.phenotypic.r);
    summary_rows(out, res.phenotypic.se);
}

// The numbers 1 to t, as the column heads of an eigenvalue list.
std::vector<tk::Item> column_numbers(int t) {
    std::vector<tk::Item> items;
    for (int i = 1; i <= t; ++i) items.emplace_back(i);
    return items;
}

}  // namespace

void write_results(tk::TextWriter& out, int listing_switch, const Results& results,
                   const std::vector<std::string>& trait_names, const PrintFlags& print_flags) {
    if (listing_switch >= 1) write_listing(out, results, trait_names, print_flags);
    else write_summary(out, results);
}

void write_first_summary_record(tk::TextWriter& summary, const Specification& input) {
    tk::write_list(summary, {run_completed, static_cast<int>(input.df.size()), static_cast<int>(input.trait_names.size()),
                             input.bending, input.genetic_group + 1, input.reference + 1, input.relative,
                             input.minimum_eigenvalue, 0});
}

void write_results_heading(tk::TextWriter& listing) { text_record(listing, ">>> R E S U L T S <<<"); }

BendingOutcome classify_bending(const Bending& b, double minimum_eigenvalue) {
    if (b.failure != 0) return BendingOutcome::eigenvalues_failed;
    if (b.needed == 0) return BendingOutcome::not_needed;
    if (b.status == bending_out_of_memory) return BendingOutcome::out_of_memory;
    if (b.status <= -20) return BendingOutcome::reference_failed;
    if (b.status == bending_limit_missed)
        return minimum_eigenvalue <= 0.0 ? BendingOutcome::reference_unsuitable : BendingOutcome::limit_missed;
    if (b.status == bending_success) return BendingOutcome::success;
    return BendingOutcome::other;
}

std::vector<std::string> bending_outcome_lines(const Bending& b, double minimum_eigenvalue) {
    std::vector<std::string> lines;
    switch (classify_bending(b, minimum_eigenvalue)) {
        case BendingOutcome::eigenvalues_failed:
            lines = {" => ERROR: THE VC MATRIX IS NOT PROPER FOR BENDING. BENDING FAILED"};
            break;
        case BendingOutcome::not_needed:
            lines = {" => MESSAGE: NOT NECESSARY FOR THE CURRENT GENETIC VC MATRIX"};
            break;
        case BendingOutcome::out_of_memory: lines = {" => ERROR: FAILED IN ALLOCATING MEMORY"}; break;
        case BendingOutcome::reference_failed:
            lines = {" => ERROR: THE REFERENCE MATRIX IS NOT SUITBLE. BENDING FAILED",
                     "           USE ANOTHER REFERENCE MATRIX AND TRY AGAIN"};
            break;
        case BendingOutcome::reference_unsuitable:
            lines = {" => ERROR: THE REFERENCE MATRIX IS NOT SUITABLE. BENDING FAILED",
                     "           USE ANOTHER REFERENCE MATRIX AND TRY AGAIN"};
            break;
        case BendingOutcome::limit_missed:
            lines = {" => ERROR: REQUIRED LIMIT OF THE LOWEST EIGENVALUE WAS FAILED",
                     "           SET A SMALLER VALUE AND TRY AGAIN"};
            break;
        case BendingOutcome::success:
            if (b.reference_flag == -1)
                lines.push_back(" => MESSAGE: REFERENCE MATRIX IS SINGULAR, USE IDENTITY MATRIX INSTEAD");
            else if (b.reference == identity_reference)
                lines.push_back(" => MESSAGE: NO REFERENCE MATRIX SPECIFIED, IDENTITY MATRIX WAS USED");
            return lines;
        case BendingOutcome::other: return lines;
    }
    lines.push_back(" ");
    lines.push_back(" ");
    return lines;
}

namespace {

// A titled list of eigenvalues under their numbers 1 ... t, then two blank records.
void write_eigenvalue_list(tk::TextWriter& out, std::string_view title, const std::vector<double>& values, int t) {
    text_record(out, title);
    blank_record(out);
    tk::write_formatted(out, "(I6,1000I15)", column_numbers(t));
    blank_record(out);
    write_values(out, "(1000G15.8)", values);
    blank_record(out);
    blank_record(out);
}

}  // namespace

void write_bending_block(tk::TextWriter& out, const Bending& b, const tk::Matrix& original,
                         const std::vector<std::string>& trait_names) {
    const std::vector<std::string> names = shown_names(trait_names);
    const int t = original.rows;
    blank_record(out);
    blank_record(out);
    write_results_heading(out);
    blank_record(out);
    blank_record(out);
    text_record(out, "** RESULTS OF BENDING **");
    blank_record(out);
    tk::write_formatted(out, "(A,F6.3)", {"Bending factor = ", b.factor});
    blank_record(out);
    write_eigenvalue_list(out, "Eigenvalues of original genetic variance-covariance matrix (g_group level)",
                          b.original, t);
    write_eigenvalue_list(out, "Eigenvalues of bended genetic variance-covariance matrix (g_group level)", b.bent,
                          t);
    text_record(out, "Original genetic variance-covariance matrix (g_group level)");
    blank_record(out);
    write_names(out, "(13X,1000(A8,7X))", names);
    blank_record(out);
    write_named_rows(out, "(A8,2X,1000G15.8)", original, names);
}

void write_bending_summary_records(tk::TextWriter& summary, const Bending& b) {
    tk::write_list(summary, {b.factor});
    tk::write_list(summary, std::span<const double>(b.original));
    tk::write_list(summary, std::span<const double>(b.bent));
}

}  // namespace kirv
