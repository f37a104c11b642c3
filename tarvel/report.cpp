#include "tarvel/report.hpp"

#include "common/html_report.hpp"
#include "common/svg.hpp"
#include "tarvel/tables_output.hpp"

#include <algorithm>
#include <cmath>

namespace tarvel {
namespace {

using tk::HtmlCell;
using tk::json_path;
using tk::NumberStyle;

// The layout of the share chart, in pixels.
constexpr double bar_height = 22.0;
constexpr double bar_gap = 12.0;
constexpr double plot_width = 560.0;
constexpr double char_width = 7.0;
constexpr double label_room = 34.0;  // the least segment width that holds its percentage

bool is_component_row(const tk::Json& row) {
    const std::string kind = tk::json_string(row.at("kind"));
    return kind == "effect" || kind == "residual";
}

double component_of(const tk::Json& row) {
    const tk::Json& c = row.at("component");
    return c.is_number() ? c.get<double>() : 0.0;
}

// The variance pairs (a trait with itself), by their index among the pairs.
std::vector<std::size_t> variance_pairs(const tk::Json& results) {
    std::vector<std::size_t> found;
    const tk::Json& pairs = results.at("pairs");
    for (std::size_t p = 0; p < pairs.size(); ++p)
        if (tk::json_string(pairs.at(p).at("kind")) == "variance") found.push_back(p);
    return found;
}

std::string pair_title(const tk::Json& pair) {
    const tk::Json& traits = pair.at("traits");
    if (tk::json_string(pair.at("kind")) == "variance") return tk::json_string(traits.at(0));
    return tk::json_string(traits.at(0)) + " \xe2\x80\x93 " + tk::json_string(traits.at(1));
}

// ------------------------------------------------------------ the run

std::string effects_text(const tk::Json& results) {
    std::string text;
    for (const tk::Json& effect : results.at("effects")) {
        if (!text.empty()) text += ", ";
        text += tk::xml_escape(tk::json_string(effect.at("name"))) + " (" + std::to_string(effect.at("columns").get<long long>()) +
                (effect.at("columns").get<long long>() == 1 ? " column" : " columns");
        if (effect.at("left_out").get<bool>()) text += ", <span class=\"negative\">left out</span>";
        text += ")";
    }
    return text;
}

// Each kind of problem case that occurred, with the lines of its first cases.
std::string problems_html(const tk::Json& results) {
    std::string html;
    const tk::Json& problems = results.at("cases").at("problems");
    for (const auto& [kind, problem] : problems.items()) {
        if (problem.at("count").get<long long>() == 0 || is_trait_missing_kind(results, kind)) continue;
        html += "<li>" + number_span(results, json_path("cases", "problems", kind, "count"), NumberStyle::whole) +
                " " + tk::xml_escape(tk::json_string(problem.at("description"))) + ":";
        const tk::Json& lines = problem.at("lines");
        for (std::size_t k = 0; k < lines.size(); ++k) {
            html += (k == 0 ? " line " : ", line ") +
                    number_span(results, json_path("cases", "problems", kind, "lines", k, "line"), NumberStyle::whole);
            const std::string text = tk::json_string(lines.at(k).at("text"));
            if (!text.empty()) html += " (<code>" + tk::xml_escape(text) + "</code>)";
        }
        if (lines.size() < problem.at("count").get<std::size_t>()) html += ", \xe2\x80\xa6";
        html += "</li>\n";
    }
    return html.empty() ? html : "<ul class=\"flags\">\n" + html + "</ul>\n";
}

// "bwt 21, wwt 91, fat 153": the cases missing each trait, where the data tell.
std::string missing_text(const tk::Json& results) {
    const tk::Json& table = results.value("table", tk::Json());
    if (!table.is_object()) return "";
    std::string text = "<br/>missing per trait: ";
    const tk::Json& traits = table.at("traits");
    for (std::size_t i = 0; i < traits.size(); ++i)
        text += (i == 0 ? "" : ", ") + tk::xml_escape(tk::json_string(traits.at(i).at("name"))) + " " +
                number_span(results, json_path("table", "traits", i, "missing"), NumberStyle::whole);
    return text;
}

std::string cases_text(const tk::Json& results) {
    return number_span(results, json_path("cases", "accepted"), NumberStyle::whole) + " accepted, " +
           number_span(results, json_path("cases", "skipped"), NumberStyle::whole) +
           " skipped (a missing trait value or a level of 0 or less), " +
           number_span(results, json_path("cases", "unreadable"), NumberStyle::whole) + " unreadable" +
           missing_text(results) + problems_html(results);
}

std::string run_section(const tk::Json& results) {
    const tk::Json& settings = results.at("settings");
    std::string traits;
    for (const tk::Json& name : settings.at("traits")) traits += (traits.empty() ? "" : ", ") + tk::xml_escape(tk::json_string(name));
    return "<h2>The run</h2>\n" +
           tk::html_facts({{"Data file", tk::xml_escape(tk::json_string(settings.at("data_file")))},
                           {"Model", tk::xml_escape(tk::json_string(settings.at("model")))},
                           {"Effects", effects_text(results)},
                           {"Traits", traits},
                           {"Cases", cases_text(results)},
                           {"Design columns", number_span(results, "/design_columns", NumberStyle::whole) +
                                                  " (the mean included)"}});
}

// ------------------------------------------------------------ the share chart

struct ShareBar {
    std::string trait;
    std::size_t pair = 0;      // index among the pairs
    double total = 0.0;        // sum of the components of the effects and the residual
    std::vector<double> components;  // per component row, effects then the residual
    std::vector<std::size_t> rows;   // their row indices in the pair
};

ShareBar share_bar(const tk::Json& results, std::size_t p) {
    const tk::Json& pair = results.at("pairs").at(p);
    ShareBar bar{tk::json_string(pair.at("traits").at(0)), p, 0.0, {}, {}};
    const tk::Json& rows = pair.at("rows");
    for (std::size_t a = 0; a < rows.size(); ++a) {
        if (!is_component_row(rows.at(a))) continue;
        bar.components.push_back(component_of(rows.at(a)));
        bar.rows.push_back(a);
        bar.total += bar.components.back();
    }
    return bar;
}

std::vector<std::string> component_names(const tk::Json& results) {
    std::vector<std::string> names;
    for (const tk::Json& effect : results.at("effects")) names.push_back(tk::json_string(effect.at("name")));
    names.push_back("Error");
    return names;
}

// The axis in percent: from the negative shares' sum (or 0) to the positive
// shares' sum (or 100).
tk::LinearScale share_axis(const std::vector<ShareBar>& bars, double left) {
    double lo = 0.0, hi = 100.0;
    for (const ShareBar& bar : bars) {
        if (!(bar.total > 0.0)) continue;
        double negative = 0.0, positive = 0.0;
        for (double c : bar.components) (c < 0 ? negative : positive) += 100.0 * c / bar.total;
        lo = std::min(lo, negative);
        hi = std::max(hi, positive);
    }
    const std::vector<double> ticks = tk::nice_ticks(lo, hi, 8);
    return {ticks.front(), ticks.back(), left, left + plot_width};
}

void draw_share_axis(tk::Svg& svg, const tk::LinearScale& x, double top, double bottom) {
    const std::vector<double> ticks = tk::nice_ticks(x.lo, x.hi, 8);
    const double step = ticks.size() > 1 ? ticks[1] - ticks[0] : 1.0;
    for (double t : ticks) {
        svg_line(svg, x(t), top, x(t), bottom, t == 0.0 ? "zero" : "grid");
        svg_text(svg, x(t), bottom + 14, tk::tick_label(t, step) + "%", tk::Anchor::middle, "small");
    }
}

void draw_segment(tk::Svg& svg, const ShareBar& bar, std::size_t k, double x0, double x1, double y,
                  const std::string& name) {
    const double value = bar.components[k];
    const double share = 100.0 * value / bar.total;
    const bool negative = value < 0.0;
    const std::string tip = name + ": component " + tk::number_text(value, NumberStyle::general) + ", " +
                            tk::number_text(share, NumberStyle::fixed1) + "% of the total" +
                            (negative ? " (negative)" : "");
    const double left = std::min(x0, x1), width = std::fabs(x1 - x0);
    tk::svg_rect(svg, left, y, width, bar_height, negative ? "negative" : "", tk::series_colour(static_cast<int>(k)),
                 tip);
    if (width < label_room) return;
    tk::svg_text(svg, left + width / 2, y + bar_height / 2 + 4, tk::number_text(share, NumberStyle::fixed1) + "%",
                 tk::Anchor::middle, "small",
                 {{"data-json", json_path("pairs", bar.pair, "rows", bar.rows[k], "component")},
                  {"data-share-of", json_path("pairs", bar.pair)}});
}

void draw_bar(tk::Svg& svg, const ShareBar& bar, const tk::LinearScale& x, double y,
              const std::vector<std::string>& names) {
    tk::svg_text(svg, x.from - 8, y + bar_height / 2 + 4, bar.trait, tk::Anchor::end);
    if (!(bar.total > 0.0)) {
        tk::svg_text(svg, x(0.0) + 6, y + bar_height / 2 + 4,
                     "no shares: the components sum to " + tk::number_text(bar.total, NumberStyle::general), tk::Anchor::start,
                     "small");
        return;
    }
    double positive = 0.0, negative = 0.0;  // running ends, in percent
    for (std::size_t k = 0; k < bar.components.size(); ++k) {
        const double share = 100.0 * bar.components[k] / bar.total;
        if (share == 0.0) continue;
        double& end = share < 0 ? negative : positive;
        draw_segment(svg, bar, k, x(end), x(end + share), y, names[k]);
        end += share;
    }
}

// The effects' colours, then the mark of a negative component, in rows that
// fit the plot's width.
void draw_legend(tk::Svg& svg, const std::vector<std::string>& names, double left, double y) {
    const std::string negative = "negative component (drawn left of 0)";
    double x = left;
    for (std::size_t k = 0; k <= names.size(); ++k) {
        const std::string& label = k < names.size() ? names[k] : negative;
        const double width = 22 + char_width * static_cast<double>(label.size()) + 14;
        if (x + width > left + plot_width && x > left) x = left, y += 18;
        if (k < names.size()) tk::svg_rect(svg, x, y - 10, 12, 12, "", tk::series_colour(static_cast<int>(k)));
        else tk::svg_rect(svg, x, y - 10, 12, 12, "negative", "#ffffff");
        tk::svg_text(svg, x + 16, y, label);
        x += width;
    }
}

std::string share_chart(const tk::Json& results) {
    std::vector<ShareBar> bars;
    std::size_t longest = 4;
    for (std::size_t p : variance_pairs(results)) {
        bars.push_back(share_bar(results, p));
        longest = std::max(longest, bars.back().trait.size());
    }
    const double left = 16 + char_width * static_cast<double>(std::min<std::size_t>(longest, 40));
    const tk::LinearScale x = share_axis(bars, left);
    const double plot_bottom = 10 + static_cast<double>(bars.size()) * (bar_height + bar_gap);
    const std::vector<std::string> names = component_names(results);
    tk::Svg svg{left + plot_width + 30, plot_bottom + 30 + 18 * (1 + static_cast<double>(names.size()) / 5), {}};
    draw_share_axis(svg, x, 4, plot_bottom);
    for (std::size_t b = 0; b < bars.size(); ++b)
        draw_bar(svg, bars[b], x, 10 + static_cast<double>(b) * (bar_height + bar_gap), names);
    draw_legend(svg, names, left, plot_bottom + 40);
    return tk::svg_element(svg, "Shares of the variance components by effect, one bar per trait");
}

std::string shares_section(const tk::Json& results) {
    return "<h2>Shares of the variance components</h2>\n"
           "<p class=\"note\">Each bar splits the sum of a trait's variance components (the effects' and the "
           "residual's; the mean's is left out) into the shares of its sources. A negative component is drawn "
           "left of 0 with a dashed red outline; the positive shares then add up to more than 100%.</p>\n" +
           share_chart(results);
}

// ------------------------------------------------------------ the tables of a pair

HtmlCell number(const tk::Json& results, const std::string& path, NumberStyle style = NumberStyle::general) {
    return tk::number_cell(results, path, style);
}

// A negative variance component stands out (a covariance may be negative).
HtmlCell component(const tk::Json& results, const std::string& path, const tk::Json& row) {
    const bool negative = row.at("negative_variance") == true;
    return tk::number_cell(results, path, NumberStyle::general, negative ? "negative" : "");
}

std::string analysis_table(const tk::Json& results, std::size_t p, const std::string& caption) {
    const tk::Json& pair = results.at("pairs").at(p);
    const bool variance = tk::json_string(pair.at("kind")) == "variance";
    tk::HtmlTable table{caption,
                        {"Source", "DF", variance ? "SS" : "SP", variance ? "MS" : "MP",
                         variance ? "Var. component" : "Cov. component", "SD"},
                        {false, true, true, true, true, true},
                        {},
                        "analysis"};
    const tk::Json& rows = pair.at("rows");
    for (std::size_t a = 0; a < rows.size(); ++a) {
        const auto at = [&](const char* key) { return json_path("pairs", p, "rows", a, key); };
        table.rows.push_back({tk::text_cell(tk::json_string(rows.at(a).at("source"))),
                              number(results, at("df"), NumberStyle::whole), number(results, at("ss")),
                              number(results, at("ms")), component(results, at("component"), rows.at(a)),
                              number(results, at("sd"))});
    }
    return tk::html_table(table);
}

std::string tests_table(const tk::Json& results, std::size_t p) {
    tk::HtmlTable table{"F tests against synthesized denominators",
                        {"Effect", "F", "Denominator MS", "Satterthwaite DF", "Probability"},
                        {false, true, true, true, true},
                        {},
                        "tests"};
    const tk::Json& rows = results.at("pairs").at(p).at("rows");
    for (std::size_t a = 0; a < rows.size(); ++a) {
        if (tk::json_string(rows.at(a).at("kind")) != "effect") continue;
        const auto at = [&](const char* key) { return json_path("pairs", p, "rows", a, key); };
        table.rows.push_back({tk::text_cell(tk::json_string(rows.at(a).at("source"))), number(results, at("f")),
                              number(results, at("denominator")), number(results, at("satterthwaite_df")),
                              number(results, at("probability"), NumberStyle::probability)});
    }
    return tk::html_table(table);
}

std::string trait_sections(const tk::Json& results) {
    std::string html;
    for (std::size_t p : variance_pairs(results)) {
        const std::string trait = pair_title(results.at("pairs").at(p));
        html += "<h2>Analysis of variance: " + tk::xml_escape(trait) + "</h2>\n" +
                analysis_table(results, p, "Type I sums of squares and variance components") + tests_table(results, p);
    }
    return html;
}

// Beyond this many pairs the tables would bury the page; the JSON results
// and the tables hold them all.
constexpr std::size_t covariance_table_limit = 45;  // the pairs of 10 traits

std::string covariance_section(const tk::Json& results) {
    const tk::Json& pairs = results.at("pairs");
    const std::size_t covariances = pairs.size() - variance_pairs(results).size();
    if (covariances == 0) return {};
    std::string html = "<h2>Analyses of covariance</h2>\n";
    if (covariances > covariance_table_limit)
        return html + "<p class=\"note\">" + std::to_string(covariances) +
               " pairs of traits: their tables are left out of this page. The listing, the JSON results and the "
               "tables (anova.csv) hold them.</p>\n";
    html += "<details open=\"open\"><summary>Show or hide the tables</summary>\n";
    for (std::size_t p = 0; p < pairs.size(); ++p)
        if (tk::json_string(pairs.at(p).at("kind")) != "variance")
            html += analysis_table(results, p, "Covariance: " + pair_title(pairs.at(p))) + tests_table(results, p);
    return html + "</details>\n";
}

std::string ems_section(const tk::Json& results) {
    const tk::Json& effects = results.at("effects");
    tk::HtmlTable table{"Coefficients of the components in each expected mean square (the residual's is 1)",
                        {"Source"}, {false}, {}, "ems"};
    for (const tk::Json& effect : effects) {
        table.columns.push_back(tk::json_string(effect.at("name")));
        table.number_columns.push_back(true);
    }
    for (std::size_t r = 0; r < effects.size(); ++r) {
        std::vector<HtmlCell> row{tk::text_cell(tk::json_string(effects.at(r).at("name")))};
        for (std::size_t c = 0; c < effects.size(); ++c)
            row.push_back(number(results, json_path("expected_mean_squares", r, c)));
        table.rows.push_back(std::move(row));
    }
    return "<h2>Expected mean squares</h2>\n" + tk::html_table(table);
}

}  // namespace

std::string report_page(const tk::Json& results) {
    const tk::Json& settings = results.at("settings");
    const std::string title = "tarvel: " + tk::json_string(settings.at("data_file"));
    std::string body = "<h1>Analysis of variance and covariance</h1>\n<p class=\"lead\">Type I (sequential) sums of "
                       "squares and products, every effect random. Model " +
                       tk::xml_escape(tk::json_string(settings.at("model"))) + ", data file " +
                       tk::xml_escape(tk::json_string(settings.at("data_file"))) + ".</p>\n";
    body += run_section(results) + shares_section(results) +
            "<p class=\"note\">Each effect is tested against the combination of later mean squares whose expectation "
            "lacks only the effect's own component, with Satterthwaite's degrees of freedom. The probability is the "
            "upper tail of F; \xe2\x80\x93 where no test can be made.</p>\n" +
            trait_sections(results) + covariance_section(results) + ems_section(results);
    body += "<footer>Written by tarvel 1.0. The numbers are those of the run's JSON results, rounded for "
            "display.</footer>\n";
    return tk::html_page(title, body);
}

void write_report(tk::TextWriter& out, const tk::Json& results) { out.put_records(report_page(results)); }

}  // namespace tarvel
