// The frame of the HTML reports of both programs: one self-contained page
// (inline CSS and SVG, no scripts, fonts or other files) that any browser
// shows and prints, tables of results, and the numbers in them.
//
// Every result number in a report carries the place of its value in the run's
// JSON results (a JSON pointer in the attribute data-json), so that the page
// can be checked against them. The page is well-formed XML as well as HTML.
#pragma once

#include "common/json_output.hpp"

#include <string>
#include <string_view>
#include <vector>

namespace tk {

// How a number is shown.
enum class NumberStyle {
    general,      // 6 significant digits: "1234.57", "0.000123457", "1.23457e+06"
    probability,  // 3 significant digits: "0.0153", "2.34e-07"
    fixed3,       // 3 decimals: "0.352" (heritabilities, correlations)
    fixed1,       // 1 decimal: "12.5" (percentages)
    whole,        // a whole number
};

// The text of a number; "–" for a value that does not exist (null, not finite).
std::string number_text(double value, NumberStyle style);
std::string number_text(const Json& value, NumberStyle style);

// A JSON pointer to an element: json_path("pairs", 0, "rows", 2, "ss") is "/pairs/0/rows/2/ss".
std::string json_path_part(std::string_view key);
std::string json_path_part(std::size_t index);
inline std::string json_path_part(int index) { return json_path_part(static_cast<std::size_t>(index)); }
inline std::string json_path_part(const char* key) { return json_path_part(std::string_view(key)); }
inline std::string json_path_part(const std::string& key) { return json_path_part(std::string_view(key)); }
template <typename... Parts>
std::string json_path(const Parts&... parts) {
    std::string path;
    ((path += '/', path += json_path_part(parts)), ...);
    return path;
}

// A text of the document, or "" when the value is not a text.
std::string json_string(const Json& value);

// The value at a pointer of the document (null when there is none).
const Json& json_at(const Json& document, const std::string& path);

// One cell of a report table: its HTML, and whether it is a number (right-aligned).
struct HtmlCell {
    std::string html;
    bool number = false;
    std::string css_class;
};
HtmlCell text_cell(std::string_view text, std::string_view css_class = {});
// The value at `path` of `document`, shown in `style` and marked with its pointer.
HtmlCell number_cell(const Json& document, const std::string& path, NumberStyle style,
                     std::string_view css_class = {});
// The same as inline text (a <span>), for sentences and captions.
std::string number_span(const Json& document, const std::string& path, NumberStyle style);

struct HtmlTable {
    std::string caption;
    std::vector<std::string> columns;
    std::vector<bool> number_columns;  // right-aligned headers; may be shorter than columns
    std::vector<std::vector<HtmlCell>> rows;
    std::string css_class;
};
std::string html_table(const HtmlTable& table);

// A definition list of the run's settings: term, then its HTML.
std::string html_facts(const std::vector<std::pair<std::string, std::string>>& facts);

// The whole page: title, the shared style sheet (plus `extra_css`) and the body HTML.
std::string html_page(std::string_view title, std::string_view body, std::string_view extra_css = {});

}  // namespace tk
