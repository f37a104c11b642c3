#include "common/json_output.hpp"

#include "common/cli.hpp"

#include <algorithm>
#include <cmath>

namespace tk {
namespace {

// One value in compact form; texts that are not UTF-8 do not fail the document.
std::string compact(const Json& value) { return value.dump(-1, ' ', false, Json::error_handler_t::replace); }

bool is_flat_array(const Json& value) {
    return value.is_array() && !value.empty() &&
           std::none_of(value.begin(), value.end(), [](const Json& x) { return x.is_structured(); });
}

void append_value(std::string& out, const Json& value, int depth) {
    const std::string inner(static_cast<std::size_t>(2 * (depth + 1)), ' ');
    const std::string outer(static_cast<std::size_t>(2 * depth), ' ');
    if (value.is_object() && !value.empty()) {
        out += "{\n";
        bool first = true;
        for (const auto& [key, item] : value.items()) {
            if (!first) out += ",\n";
            first = false;
            out += inner + compact(Json(key)) + ": ";
            append_value(out, item, depth + 1);
        }
        out += "\n" + outer + "}";
    } else if (value.is_array() && !value.empty() && !is_flat_array(value)) {
        out += "[\n";
        for (std::size_t i = 0; i < value.size(); ++i) {
            if (i > 0) out += ",\n";
            out += inner;
            append_value(out, value[i], depth + 1);
        }
        out += "\n" + outer + "]";
    } else if (is_flat_array(value)) {
        out += "[";
        for (std::size_t i = 0; i < value.size(); ++i) out += (i > 0 ? ", " : "") + compact(value[i]);
        out += "]";
    } else {
        out += compact(value);
    }
}

}  // namespace

Json json_number(double x) { return std::isfinite(x) ? Json(x) : Json(nullptr); }

Json json_numbers(std::span<const double> x) {
    Json array = Json::array();
    for (double value : x) array.push_back(json_number(value));
    return array;
}

Json json_matrix(const Matrix& m) {
    Json rows = Json::array();
    for (int i = 0; i < m.rows; ++i) {
        Json row = Json::array();
        for (int j = 0; j < m.cols; ++j) row.push_back(json_number(m(i, j)));
        rows.push_back(std::move(row));
    }
    return rows;
}

std::string json_text(const Json& document) {
    std::string out;
    append_value(out, document, 0);
    out += "\n";
    return out;
}

bool open_json_output(TextWriter& out, std::string_view name) { return open_output(out, name, /*atomic=*/true); }

void write_json(TextWriter& out, const Json& document) { out.put_records(json_text(document)); }

std::optional<std::string> write_json_file(std::string_view name, const Json& document) {
    TextWriter out;
    if (!open_json_output(out, name)) return "Cannot open the JSON file " + std::string(name) + "!";
    write_json(out, document);
    if (!out.close()) return "Cannot write the JSON file " + std::string(name) + "!";
    return std::nullopt;
}

}  // namespace tk
