#include "kirv/report.hpp"

#include "common/html_report.hpp"
#include "common/svg.hpp"
#include "kirv/result_flags.hpp"

#include <algorithm>
#include <cmath>

namespace kirv {
namespace {

using tk::HtmlCell;
using tk::json_path;
using tk::NumberStyle;

constexpr double char_width = 7.0;
constexpr double plot_width = 480.0;
constexpr const char* levels[] = {"group_level", "individual_level"};
constexpr const char* level_names[] = {"genetic-group level", "individual level"};

double number_of(const tk::Json& value) { return value.is_number() ? value.get<double>() : 0.0; }

std::vector<std::string> trait_names(const tk::Json& results) {
    std::vector<std::string> names;
    for (const tk::Json& name : results.at("traits")) names.push_back(tk::json_string(name));
    return names;
}

double label_room(const std::vector<std::string>& names) {
    std::size_t longest = 4;
    for (const std::string& name : names) longest = std::max(longest, name.size());
    return 16 + char_width * static_cast<double>(std::min<std::size_t>(longest, 30));
}

// The name of effect k (1-based) when the data file names the effects, else "".
std::string effect_name(const tk::Json& results, long long k) {
    const tk::Json& names = results.at("effect_names");
    if (!names.is_array() || k < 1 || k > static_cast<long long>(names.size())) return "";
    return tk::json_string(names.at(static_cast<std::size_t>(k - 1)));
}

// "sire (effect 3 of 5)", or "effect 3 of 5" without names (HTML).
std::string effect_text(const tk::Json& results, const tk::Json& number) {
    const long long k = number.is_number_integer() ? number.get<long long>() : 0;
    const std::string numbered = "effect " + std::to_string(k) + " of " + std::to_string(results.at("effects").get<long long>());
    const std::string name = effect_name(results, k);
    return name.empty() ? numbered : tk::xml_escape(name) + " (" + numbered + ")";
}

// ------------------------------------------------------------ the run

std::string run_section(const tk::Json& results) {
    const tk::Json& s = results.at("settings");
    std::string traits, df;
    for (const std::string& name : trait_names(results)) traits += (traits.empty() ? "" : ", ") + tk::xml_escape(name);
    for (std::size_t k = 0; k < results.at("degrees_of_freedom").size(); ++k) {
        const std::string name = effect_name(results, static_cast<long long>(k) + 1);
        df += (k == 0 ? "" : ", ") + (name.empty() ? "" : tk::xml_escape(name) + " ") +
              tk::number_span(results, json_path("degrees_of_freedom", k), NumberStyle::general);
    }
    std::string group = effect_text(results, s.at("genetic_group"));
    if (s.at("genetic_group_chosen_by_kirv").is_string())
        group += ", chosen by kirv: " + tk::xml_escape(tk::json_string(s.at("genetic_group_chosen_by_kirv")));
    std::string bending = s.at("bending").get<bool>() ? "requested: reference " : "not requested";
    if (s.at("bending").get<bool>()) {
        bending += s.at("reference").get<long long>() == 0 ? std::string("the identity") : effect_text(results, s.at("reference"));
        bending += ", lowest eigenvalue " + tk::number_span(results, "/settings/minimum_eigenvalue", NumberStyle::general);
    }
    return "<h2>The run</h2>\n" +
           tk::html_facts({{"Data file", tk::xml_escape(tk::json_string(s.at("data_file")))},
                           {"Traits", traits},
                           {"Degrees of freedom", df + " (effects in the order of the analysis)"},
                           {"Genetic group", group},
                           {"Relationship", tk::number_span(results, "/settings/relationship", NumberStyle::general) +
                                                " (scales the group component to the individual)"},
                           {"Bending", bending}});
}

// ------------------------------------------------------------ the flags

// Beyond this many lines of one kind the list says how many more there are;
// the tables and the JSON results hold them all.
constexpr std::size_t flags_shown = 12;

void limit_flags(std::vector<std::string>& flags, const char* what) {
    if (flags.size() <= flags_shown) return;
    const std::size_t more = flags.size() - flags_shown;
    flags.resize(flags_shown);
    flags.push_back("\xe2\x80\xa6 and " + std::to_string(more) + " more " + what +
                    " (the tables and the JSON results list them all).");
}

std::vector<std::string> component_flags(const tk::Json& results) {
    std::vector<std::string> flags;
    const tk::Json& negative = results.at("variance_components").at("negative");
    for (std::size_t k = 0; k < negative.size(); ++k)
        flags.push_back("The variance component of " + tk::xml_escape(tk::json_string(negative.at(k).at("trait"))) +
                        " for " + effect_text(results, negative.at(k).at("effect")) + " was negative (" +
                        tk::number_span(results, json_path("variance_components", "negative", k, "value"),
                                        NumberStyle::general) +
                        ") and was set to 0.");
    limit_flags(flags, "negative variance components");
    return flags;
}

std::vector<std::string> definiteness_flags(const tk::Json& results) {
    const tk::Json& g = results.at("genetic_matrix");
    if (g.at("positive_definite").get<bool>()) return {};
    if (!g.at("smallest_eigenvalue").is_number())
        return {"The eigenvalues of the genetic-group covariance matrix could not be found."};
    return {"The genetic-group covariance matrix is not positive definite: its smallest eigenvalue is " +
            tk::number_span(results, "/genetic_matrix/smallest_eigenvalue", NumberStyle::general) + "."};
}

// "was estimated as 3.45455" where the raw ratio exists.
std::string raw_text(const tk::Json& results, const std::string& path) {
    if (!tk::json_at(results, path).is_number()) return "";
    return " (estimated as " + tk::number_span(results, path, NumberStyle::general) + ")";
}

std::vector<std::string> heritability_flags(const tk::Json& results, const std::vector<std::string>& traits) {
    std::vector<std::string> flags;
    for (std::size_t l = 0; l < 2; ++l)
        for (std::size_t i = 0; i < traits.size(); ++i) {
            const std::string flag = heritability_flag(results, levels[l], i);
            if (flag.empty() || flag == estimate_flag) continue;
            flags.push_back("The heritability of " + tk::xml_escape(traits[i]) + " at the " + level_names[l] +
                            raw_text(results, json_path(levels[l], "heritability", "raw", i)) + " " +
                            flag_meaning(flag) + ": it is shown as " +
                            tk::number_span(results, json_path(levels[l], "heritability", "value", i),
                                            NumberStyle::fixed3) +
                            ".");
        }
    limit_flags(flags, "heritabilities");
    return flags;
}

std::vector<std::string> correlation_flags(const tk::Json& results, const std::vector<std::string>& traits) {
    std::vector<std::string> flags;
    for (const char* kind : {"genetic_correlations", "phenotypic_correlations"})
        for (std::size_t i = 0; i < traits.size(); ++i)
            for (std::size_t j = i + 1; j < traits.size(); ++j) {
                const std::string flag = correlation_flag(results, kind, i, j);
                if (flag.empty() || flag == estimate_flag) continue;
                flags.push_back(std::string("The ") + (kind[0] == 'g' ? "genetic" : "phenotypic") +
                                " correlation of " + tk::xml_escape(traits[i]) + " and " + tk::xml_escape(traits[j]) +
                                raw_text(results, json_path(kind, "raw", i, j)) + " " + flag_meaning(flag) +
                                ": it is shown as " +
                                tk::number_span(results, json_path(kind, "value", i, j), NumberStyle::fixed3) + ".");
            }
    limit_flags(flags, "correlations");
    return flags;
}

std::vector<std::string> settings_flags(const tk::Json& results) {
    std::vector<std::string> flags;
    for (const tk::Json& replaced : results.at("settings").at("replaced"))
        flags.push_back("Setting replaced: " + tk::xml_escape(tk::json_string(replaced)));
    return flags;
}

std::vector<std::string> bending_flags(const tk::Json& results) {
    std::vector<std::string> flags;
    const tk::Json& b = results.at("bending");
    if (!b.at("requested").get<bool>()) return flags;
    const tk::Json& original = b.at("original_eigenvalues");
    if (b.at("applied").get<bool>() && original.is_array() && !original.empty())
        flags.push_back("As estimated, the genetic-group covariance matrix had the smallest eigenvalue " +
                        tk::number_span(results, json_path("bending", "original_eigenvalues", original.size() - 1),
                                        NumberStyle::general) +
                        "; it was bent (factor " + tk::number_span(results, "/bending/factor", NumberStyle::fixed3) +
                        ") and every parameter is computed from the bent matrix.");
    for (const tk::Json& message : b.at("messages")) flags.push_back("Bending: " + tk::xml_escape(tk::json_string(message)));
    return flags;
}

std::string flags_section(const tk::Json& results) {
    const std::vector<std::string> traits = trait_names(results);
    std::vector<std::string> flags = settings_flags(results);
    for (const std::vector<std::string>& more :
         {component_flags(results), definiteness_flags(results), heritability_flags(results, traits),
          correlation_flags(results, traits), bending_flags(results)})
        flags.insert(flags.end(), more.begin(), more.end());
    std::string html = "<h2>Flags of the run</h2>\n";
    if (flags.empty())
        return html + "<p class=\"ok\">None: no variance component was negative, every heritability and correlation "
                      "is as estimated, and the genetic-group covariance matrix is positive definite.</p>\n";
    html += "<ul class=\"flags\">\n";
    for (const std::string& flag : flags) html += "<li>" + flag + "</li>\n";
    return html + "</ul>\n";
}

// ------------------------------------------------------------ heritabilities

struct Interval {
    double value = 0.0, se = 0.0;
};

Interval heritability(const tk::Json& results, std::size_t level, std::size_t i) {
    const tk::Json& h = results.at(levels[level]).at("heritability");
    return {number_of(h.at("value").at(i)), std::fabs(number_of(h.at("standard_error").at(i)))};
}

// The axis covers 0 to 1 and the bars of one standard error, within -1 to 2.
tk::LinearScale heritability_axis(const tk::Json& results, std::size_t t, double left) {
    double lo = 0.0, hi = 1.0;
    for (std::size_t l = 0; l < 2; ++l)
        for (std::size_t i = 0; i < t; ++i) {
            const Interval h = heritability(results, l, i);
            lo = std::min(lo, h.value - h.se);
            hi = std::max(hi, h.value + h.se);
        }
    const std::vector<double> ticks = tk::nice_ticks(std::max(lo, -1.0), std::min(hi, 2.0), 6);
    return {ticks.front(), ticks.back(), left, left + plot_width};
}

void draw_axis(tk::Svg& svg, const tk::LinearScale& x, double top, double bottom, int count) {
    const std::vector<double> ticks = tk::nice_ticks(x.lo, x.hi, count);
    const double step = ticks.size() > 1 ? ticks[1] - ticks[0] : 1.0;
    for (double t : ticks) {
        svg_line(svg, x(t), top, x(t), bottom, t == 0.0 ? "zero" : "grid");
        svg_text(svg, x(t), bottom + 14, tk::tick_label(t, step), tk::Anchor::middle, "small");
    }
}

void draw_interval(tk::Svg& svg, const tk::LinearScale& x, Interval h, double y, int series, const std::string& tip) {
    const double lo = std::max(x.lo, h.value - h.se), hi = std::min(x.hi, h.value + h.se);
    tk::svg_line(svg, x(lo), y, x(hi), y, "whisker");
    for (double end : {lo, hi}) tk::svg_line(svg, x(end), y - 4, x(end), y + 4, "whisker");
    tk::svg_circle(svg, x(h.value), y, 5, "", tk::series_colour(series), tip);
}

std::string heritability_chart(const tk::Json& results) {
    const std::vector<std::string> traits = trait_names(results);
    const double left = label_room(traits), row = 40.0;
    const tk::LinearScale x = heritability_axis(results, traits.size(), left);
    const double bottom = 8 + row * static_cast<double>(traits.size());
    tk::Svg svg{left + plot_width + 30, bottom + 52, {}};
    draw_axis(svg, x, 4, bottom, 6);
    for (std::size_t i = 0; i < traits.size(); ++i) {
        const double y = 8 + row * static_cast<double>(i);
        tk::svg_text(svg, left - 8, y + row / 2 + 2, traits[i], tk::Anchor::end);
        for (std::size_t l = 0; l < 2; ++l) {
            const Interval h = heritability(results, l, i);
            draw_interval(svg, x, h, y + 12 + 14 * static_cast<double>(l), static_cast<int>(l),
                          traits[i] + ", " + level_names[l] + ": " + tk::number_text(h.value, NumberStyle::fixed3) +
                              " \xc2\xb1 " + tk::number_text(h.se, NumberStyle::fixed3));
        }
    }
    for (std::size_t l = 0; l < 2; ++l) {
        const double lx = left + 230 * static_cast<double>(l);
        tk::svg_circle(svg, lx + 6, bottom + 38, 5, "", tk::series_colour(static_cast<int>(l)));
        tk::svg_text(svg, lx + 16, bottom + 42, std::string("h\xc2\xb2 ") + level_names[l] + " \xc2\xb1 1 SE");
    }
    return tk::svg_element(svg, "Heritabilities with bars of one standard error, per trait");
}

std::string heritability_section(const tk::Json& results) {
    const std::vector<std::string> traits = trait_names(results);
    tk::HtmlTable table{"Heritabilities and their standard errors",
                        {"Trait", "h\xc2\xb2 group", "SE", "h\xc2\xb2 individual", "SE"},
                        {false, true, true, true, true},
                        {},
                        ""};
    bool any_bound = false;
    for (std::size_t i = 0; i < traits.size(); ++i) {
        std::vector<HtmlCell> row{tk::text_cell(traits[i])};
        for (std::size_t l = 0; l < 2; ++l) {
            const std::string flag = heritability_flag(results, levels[l], i);
            const bool bound = !flag.empty() && flag != estimate_flag;
            any_bound = any_bound || bound;
            row.push_back(tk::number_cell(results, json_path(levels[l], "heritability", "value", i), NumberStyle::fixed3,
                                          bound ? "flagged" : ""));
            row.push_back(tk::number_cell(results, json_path(levels[l], "heritability", "standard_error", i),
                                          NumberStyle::fixed3));
        }
        table.rows.push_back(std::move(row));
    }
    std::string html = "<h2>Heritabilities</h2>\n" + heritability_chart(results) + tk::html_table(table);
    if (any_bound)
        html += "<p class=\"note\">A shaded value is not the estimate itself: it was set to a bound of 0 to 1, or "
                "to 0 (see the flags).</p>\n";
    return html;
}

// ------------------------------------------------------------ correlations

constexpr std::size_t heatmap_text_limit = 16;  // traits up to which the cells hold their values

struct CellSize {
    double width, height;
    bool text;
};

CellSize cell_size(std::size_t t) {
    if (t <= heatmap_text_limit) return {86.0, 46.0, true};
    return {24.0, 20.0, false};
}

std::string shortened(const std::string& name, std::size_t room) {
    if (name.size() <= room) return name;
    return name.substr(0, room > 1 ? room - 1 : 1) + "\xe2\x80\xa6";
}

void draw_correlation_cell(tk::Svg& svg, const tk::Json& results, std::size_t i, std::size_t j, double x, double y,
                           const CellSize& size, const std::string& tip_names) {
    const char* kind = i < j ? "genetic_correlations" : "phenotypic_correlations";
    const std::string value_path = json_path(kind, "value", i, j), se_path = json_path(kind, "standard_error", i, j);
    const double r = number_of(tk::json_at(results, value_path));
    const double se = number_of(tk::json_at(results, se_path));
    const std::string flag = correlation_flag(results, kind, i, j);
    const bool flagged = !flag.empty() && flag != estimate_flag;
    const std::string tip = std::string(i < j ? "genetic" : "phenotypic") + " correlation of " + tip_names + ": " +
                            tk::number_text(r, NumberStyle::fixed3) + " \xc2\xb1 " +
                            tk::number_text(se, NumberStyle::fixed3) + (flagged ? "; it " + flag_meaning(flag) : "");
    tk::svg_rect(svg, x, y, size.width, size.height, "cell", tk::diverging_colour(r), tip);
    if (flagged) tk::svg_rect(svg, x + 2, y + 2, size.width - 4, size.height - 4, "negative", "none");
    if (!size.text) return;
    const std::string css = std::fabs(r) > 0.6 ? "light" : "";
    tk::svg_text(svg, x + size.width / 2, y + 19, tk::number_text(r, NumberStyle::fixed3), tk::Anchor::middle, css,
                 {{"data-json", value_path}});
    tk::svg_text(svg, x + size.width / 2, y + 36, "\xc2\xb1 " + tk::number_text(se, NumberStyle::fixed3), tk::Anchor::middle,
                 css.empty() ? "small" : "small light", {{"data-json", se_path}});
}

void draw_colour_key(tk::Svg& svg, double left, double y) {
    const double width = 200.0;
    for (int k = 0; k < 40; ++k) {
        const double r = -1.0 + 2.0 * (k + 0.5) / 40.0;
        tk::svg_rect(svg, left + width * k / 40.0, y, width / 40.0 + 0.5, 10, "", tk::diverging_colour(r));
    }
    tk::svg_rect(svg, left, y, width, 10, "outline");
    for (const auto& [r, label] : {std::pair{-1.0, "\xe2\x88\x92" "1"}, std::pair{0.0, "0"}, std::pair{1.0, "1"}})
        tk::svg_text(svg, left + width * (r + 1.0) / 2.0, y + 24, label, tk::Anchor::middle, "small");
}

std::string correlation_heatmap(const tk::Json& results) {
    const std::vector<std::string> traits = trait_names(results);
    const std::size_t t = traits.size();
    const CellSize size = cell_size(t);
    const double left = label_room(traits), top = 10.0;
    const double bottom = top + size.height * static_cast<double>(t);
    tk::Svg svg{std::max(left + size.width * static_cast<double>(t), left + 220 + 60 * char_width) + 20, bottom + 60, {}};
    for (std::size_t i = 0; i < t; ++i) {
        const double y = top + size.height * static_cast<double>(i);
        tk::svg_text(svg, left - 8, y + size.height / 2 + 4, traits[i], tk::Anchor::end);
        for (std::size_t j = 0; j < t; ++j) {
            const double x = left + size.width * static_cast<double>(j);
            if (i == j) {
                tk::svg_rect(svg, x, y, size.width, size.height, "cell", "#eeeeee", traits[i]);
                if (size.text)
                    tk::svg_text(svg, x + size.width / 2, y + size.height / 2 + 4, shortened(traits[i], 11),
                                 tk::Anchor::middle, "small");
                continue;
            }
            draw_correlation_cell(svg, results, i, j, x, y, size, traits[std::min(i, j)] + " and " + traits[std::max(i, j)]);
        }
    }
    draw_colour_key(svg, left, bottom + 14);
    tk::svg_text(svg, left + 220, bottom + 24, "above the diagonal: genetic (rG); below: phenotypic (rP)");
    return tk::svg_element(svg, "Genetic correlations above the diagonal and phenotypic correlations below, with standard errors");
}

std::string correlation_section(const tk::Json& results) {
    std::string html = "<h2>Genetic and phenotypic correlations</h2>\n";
    if (results.at("traits").size() < 2) return html + "<p class=\"note\">One trait: no correlations.</p>\n";
    html += "<p class=\"note\">Each cell gives the correlation and, below it, its standard error. Above the diagonal "
            "the genetic correlations (of the genetic-group matrix), below it the phenotypic correlations (of the "
            "individual-level matrix). A cell outlined in red dashes is not the estimate itself (see the flags).</p>\n" +
            correlation_heatmap(results);
    if (results.at("traits").size() > heatmap_text_limit)
        html += "<p class=\"note\">With more than " + std::to_string(heatmap_text_limit) +
                " traits the cells are too small for their values: the pointer shows them, and the tables "
                "(--tables) hold them all.</p>\n";
    return html;
}

// ------------------------------------------------------------ covariance matrices

std::string matrix_table(const tk::Json& results, const std::string& caption, const std::string& path) {
    const std::vector<std::string> traits = trait_names(results);
    tk::HtmlTable table{caption, {""}, {false}, {}, ""};
    for (const std::string& name : traits) {
        table.columns.push_back(name);
        table.number_columns.push_back(true);
    }
    for (std::size_t i = 0; i < traits.size(); ++i) {
        std::vector<HtmlCell> row{tk::text_cell(traits[i])};
        for (std::size_t j = 0; j < traits.size(); ++j)
            row.push_back(tk::number_cell(results, path + json_path(i, j), NumberStyle::general));
        table.rows.push_back(std::move(row));
    }
    return tk::html_table(table);
}

std::string covariance_section(const tk::Json& results) {
    std::string html = "<h2>Covariance matrices</h2>\n";
    for (std::size_t l = 0; l < 2; ++l) {
        html += matrix_table(results, std::string("Genetic, ") + level_names[l], json_path(levels[l], "genetic"));
        html += matrix_table(results, std::string("Phenotypic, ") + level_names[l], json_path(levels[l], "phenotypic"));
    }
    return html;
}

// ------------------------------------------------------------ bending

std::vector<double> numbers(const tk::Json& list) {
    std::vector<double> values;
    if (list.is_array())
        for (const tk::Json& x : list) values.push_back(number_of(x));
    return values;
}

std::string eigenvalue_chart(const tk::Json& results) {
    const std::vector<double> before = numbers(results.at("bending").at("original_eigenvalues"));
    const std::vector<double> after = numbers(results.at("bending").at("bent_eigenvalues"));
    const double minimum = number_of(results.at("settings").at("minimum_eigenvalue"));
    double lo = std::min(0.0, minimum), hi = std::max(0.0, minimum);
    for (const std::vector<double>* list : {&before, &after})
        for (double v : *list) lo = std::min(lo, v), hi = std::max(hi, v);
    const std::vector<double> ticks = tk::nice_ticks(lo, hi, 6);
    const double left = 60.0, group = 64.0, height = 220.0;
    const tk::LinearScale y{ticks.front(), ticks.back(), 10 + height, 10};
    const double width = left + group * static_cast<double>(before.size()) + 20;
    tk::Svg svg{std::max(width, 600.0), height + 70, {}};
    const double step = ticks.size() > 1 ? ticks[1] - ticks[0] : 1.0;
    for (double t : ticks) {
        svg_line(svg, left, y(t), width - 10, y(t), t == 0.0 ? "zero" : "grid");
        svg_text(svg, left - 6, y(t) + 4, tk::tick_label(t, step), tk::Anchor::end, "small");
    }
    for (std::size_t k = 0; k < before.size(); ++k) {
        const double x = left + group * static_cast<double>(k) + 8;
        const std::vector<double>* lists[] = {&before, &after};
        for (int s = 0; s < 2; ++s) {
            if (k >= lists[s]->size()) continue;
            const double v = (*lists[s])[k];
            tk::svg_rect(svg, x + 24 * s, std::min(y(v), y(0.0)), 22, std::fabs(y(v) - y(0.0)), v < 0 ? "negative" : "",
                         tk::series_colour(s),
                         std::string(s == 0 ? "before" : "after") + " bending: " + tk::number_text(v, NumberStyle::general));
        }
        tk::svg_text(svg, x + 23, height + 28, std::to_string(k + 1), tk::Anchor::middle, "small");
    }
    tk::svg_line(svg, left, y(minimum), width - 10, y(minimum), "negative");
    for (int s = 0; s < 2; ++s) {
        tk::svg_rect(svg, left + 130 * s, height + 46, 12, 12, "", tk::series_colour(s));
        tk::svg_text(svg, left + 130 * s + 16, height + 56, s == 0 ? "before bending" : "after bending");
    }
    tk::svg_text(svg, left + 270, height + 56, "dashed: required lowest eigenvalue");
    return tk::svg_element(svg, "Eigenvalues of the genetic-group covariance matrix before and after bending");
}

std::string eigenvalue_table(const tk::Json& results) {
    tk::HtmlTable table{"Eigenvalues of the genetic-group covariance matrix, largest first",
                        {"Number", "Before bending", "After bending"}, {true, true, true}, {}, ""};
    const std::size_t t = results.at("traits").size();
    for (std::size_t k = 0; k < t; ++k)
        table.rows.push_back({HtmlCell{std::to_string(k + 1), true, ""},
                              tk::number_cell(results, json_path("bending", "original_eigenvalues", k), NumberStyle::general),
                              tk::number_cell(results, json_path("bending", "bent_eigenvalues", k), NumberStyle::general)});
    return tk::html_table(table);
}

std::string bending_section(const tk::Json& results) {
    const tk::Json& b = results.at("bending");
    if (!b.at("requested").get<bool>()) return {};
    std::string html = "<h2>Bending of the genetic covariance matrix</h2>\n";
    if (!b.at("original_eigenvalues").is_array())
        return html + "<p class=\"note\">The eigenvalues of the genetic-group matrix could not be found.</p>\n";
    return html + eigenvalue_chart(results) + eigenvalue_table(results);
}

}  // namespace

std::string report_page(const tk::Json& results) {
    const std::string data_file = tk::json_string(results.at("settings").at("data_file"));
    std::string body = "<h1>Genetic parameters</h1>\n<p class=\"lead\">Heritabilities, genetic and phenotypic "
                       "correlations with first-order standard errors, from the analysis in " +
                       tk::xml_escape(data_file) + ".</p>\n";
    body += run_section(results) + flags_section(results) + heritability_section(results) +
            correlation_section(results) + bending_section(results) + covariance_section(results);
    body += "<footer>Written by kirv 1.0. The numbers are those of the run's JSON results, rounded for "
            "display.</footer>\n";
    return tk::html_page("kirv: " + data_file, body, "svg text.light { fill: #fff; }\n");
}

void write_report(tk::TextWriter& out, const tk::Json& results) { out.put_records(report_page(results)); }

}  // namespace kirv
