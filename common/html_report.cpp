#include "common/html_report.hpp"

#include "common/svg.hpp"

#include <charconv>
#include <cmath>

namespace tk {
namespace {

constexpr const char* no_value = "\xe2\x80\x93";  // an en dash

// Plain colours and type that print well; numbers line up in their columns.
constexpr const char* page_css = R"(
body { font-family: "DejaVu Sans", "Liberation Sans", Arial, Helvetica, sans-serif; color: #222; margin: 1.5em auto; max-width: 72em; padding: 0 1em; line-height: 1.4; }
h1 { font-size: 1.5em; margin: 0 0 0.2em 0; }
h2 { font-size: 1.2em; margin: 1.6em 0 0.4em 0; border-bottom: 1px solid #bbb; padding-bottom: 0.15em; }
h3 { font-size: 1.05em; margin: 1.2em 0 0.3em 0; }
p.lead { color: #555; margin-top: 0; }
dl.facts { display: grid; grid-template-columns: max-content auto; gap: 0.15em 1.2em; margin: 0.5em 0; }
dl.facts dt { font-weight: bold; }
dl.facts dd { margin: 0; }
table { border-collapse: collapse; margin: 0.4em 0 1em 0; font-size: 0.92em; }
caption { text-align: left; font-weight: bold; padding-bottom: 0.3em; white-space: nowrap; }
th, td { padding: 0.2em 0.7em; border-bottom: 1px solid #ddd; }
th { background: #f2f2f2; text-align: left; }
th.num, td.num { text-align: right; font-variant-numeric: tabular-nums; white-space: nowrap; }
tr.sum td { border-top: 1px solid #999; }
td.negative, span.negative { color: #b2182b; font-weight: bold; }
td.flagged { background: #fff3cd; }
ul.flags li { margin: 0.2em 0; }
p.note { color: #555; font-size: 0.9em; }
p.ok { color: #1b7837; }
svg { display: block; margin: 0.3em 0 0.8em 0; max-width: 100%; height: auto; }
svg text { font-family: "DejaVu Sans", "Liberation Sans", Arial, Helvetica, sans-serif; font-size: 12px; fill: #222; }
svg .axis { stroke: #444; stroke-width: 1; }
svg .grid { stroke: #ddd; stroke-width: 1; }
svg .zero { stroke: #222; stroke-width: 1.5; }
svg .small { font-size: 10px; }
svg .cell { stroke: #fff; stroke-width: 1; }
svg .negative { stroke: #b2182b; stroke-width: 1.5; stroke-dasharray: 4 2; }
svg .whisker { stroke: #222; stroke-width: 1.5; }
svg .outline { fill: none; stroke: #888; stroke-width: 1; }
details > summary { cursor: pointer; font-weight: bold; margin: 0.6em 0; }
footer { margin-top: 2.5em; color: #777; font-size: 0.85em; border-top: 1px solid #ddd; padding-top: 0.5em; }
@media print {
  body { margin: 0; max-width: none; font-size: 10pt; }
  h2 { break-after: avoid; }
  table, svg, figure { break-inside: avoid; }
  details { display: block; }
  details > summary { display: none; }
}
)";

std::string general_text(double value, int significant) {
    char text[48];
    const auto r = std::to_chars(text, text + sizeof text, value, std::chars_format::general, significant);
    return std::string(text, r.ptr);
}

std::string fixed_text(double value, int decimals) {
    char text[400];
    const auto r = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
    std::string shown(text, r.ptr);
    if (shown.find_first_not_of("-0.") == std::string::npos && shown.front() == '-') shown.erase(0, 1);
    return shown;
}

std::string attribute(std::string_view name, std::string_view value) {
    std::string text(1, ' ');
    text += name;
    text += "=\"";
    text += xml_escape(value);
    text += '"';
    return text;
}

}  // namespace

std::string number_text(double value, NumberStyle style) {
    if (!std::isfinite(value)) return no_value;
    switch (style) {
        case NumberStyle::probability: return general_text(value, 3);
        case NumberStyle::fixed3: return fixed_text(value, 3);
        case NumberStyle::fixed1: return fixed_text(value, 1);
        case NumberStyle::whole: return fixed_text(std::round(value), 0);
        default: return general_text(value, 6);
    }
}

std::string number_text(const Json& value, NumberStyle style) {
    if (value.is_number_integer()) return std::to_string(value.get<long long>());
    if (!value.is_number()) return no_value;
    return number_text(value.get<double>(), style);
}

std::string json_path_part(std::string_view key) {
    std::string part;
    for (char c : key) part += c == '~' ? std::string("~0") : c == '/' ? std::string("~1") : std::string(1, c);
    return part;
}

std::string json_path_part(std::size_t index) { return std::to_string(index); }

std::string json_string(const Json& value) { return value.is_string() ? value.get<std::string>() : std::string(); }

const Json& json_at(const Json& document, const std::string& path) {
    static const Json null_value;
    const Json::json_pointer pointer(path);
    return document.contains(pointer) ? document.at(pointer) : null_value;
}

HtmlCell text_cell(std::string_view text, std::string_view css_class) {
    return {xml_escape(text), false, std::string(css_class)};
}

HtmlCell number_cell(const Json& document, const std::string& path, NumberStyle style, std::string_view css_class) {
    const Json& value = json_at(document, path);
    return {"<span" + attribute("data-json", path) + ">" + xml_escape(number_text(value, style)) + "</span>", true,
            std::string(css_class)};
}

std::string number_span(const Json& document, const std::string& path, NumberStyle style) {
    return number_cell(document, path, style).html;
}

std::string html_table(const HtmlTable& table) {
    std::string out = "<table" + (table.css_class.empty() ? std::string() : attribute("class", table.css_class)) + ">\n";
    if (!table.caption.empty()) out += "<caption>" + xml_escape(table.caption) + "</caption>\n";
    out += "<thead><tr>";
    for (std::size_t c = 0; c < table.columns.size(); ++c) {
        const bool number = c < table.number_columns.size() && table.number_columns[c];
        out += std::string(number ? "<th class=\"num\">" : "<th>") + xml_escape(table.columns[c]) + "</th>";
    }
    out += "</tr></thead>\n<tbody>\n";
    for (const std::vector<HtmlCell>& row : table.rows) {
        out += "<tr>";
        for (const HtmlCell& cell : row) {
            std::string classes = cell.number ? "num" : "";
            if (!cell.css_class.empty()) classes += (classes.empty() ? "" : " ") + cell.css_class;
            out += "<td" + (classes.empty() ? std::string() : attribute("class", classes)) + ">" + cell.html + "</td>";
        }
        out += "</tr>\n";
    }
    out += "</tbody>\n</table>\n";
    return out;
}

std::string html_facts(const std::vector<std::pair<std::string, std::string>>& facts) {
    std::string out = "<dl class=\"facts\">\n";
    for (const auto& [term, html] : facts) out += "<dt>" + xml_escape(term) + "</dt><dd>" + html + "</dd>\n";
    return out + "</dl>\n";
}

std::string html_page(std::string_view title, std::string_view body, std::string_view extra_css) {
    std::string page = "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\"/>\n";
    page += "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\"/>\n";
    page += "<title>" + xml_escape(title) + "</title>\n<style>";
    page += page_css;
    page += extra_css;
    page += "</style>\n</head>\n<body>\n";
    page += body;
    page += "</body>\n</html>\n";
    return page;
}

}  // namespace tk
