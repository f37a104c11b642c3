#include "common/csv_output.hpp"

#include <charconv>
#include <cmath>
#include <filesystem>
#include <system_error>

namespace tk {

std::string csv_number(double x) {
    if (!std::isfinite(x)) return std::string(csv_missing);
    char buffer[32];
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, x);  // shortest round trip
    return std::string(buffer, r.ptr);
}

std::string csv_text(std::string_view text) {
    const bool outer_blank = !text.empty() && (text.front() == ' ' || text.back() == ' ');
    const bool needs_quotes = outer_blank || text.find_first_of(",\"\r\n") != std::string_view::npos;
    if (!needs_quotes) return std::string(text);
    std::string quoted = "\"";
    for (char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

std::string csv_flag(bool flag) { return flag ? "TRUE" : "FALSE"; }

std::string csv_cell(const Json& value) {
    if (value.is_boolean()) return csv_flag(value.get<bool>());
    if (value.is_number_integer()) return std::to_string(value.get<long long>());
    if (value.is_number()) return csv_number(value.get<double>());
    if (value.is_string()) return csv_text(value.get<std::string>());
    return std::string(csv_missing);
}

std::string csv_document(const CsvTable& table) {
    std::string text;
    const auto put_row = [&text](const std::vector<std::string>& cells) {
        for (std::size_t i = 0; i < cells.size(); ++i) {
            if (i > 0) text += ',';
            text += cells[i];
        }
        text += '\n';
    };
    std::vector<std::string> header;
    for (const std::string& name : table.columns) header.push_back(csv_text(name));
    put_row(header);
    for (const std::vector<std::string>& row : table.rows) put_row(row);
    return text;
}

std::string table_path(std::string_view directory, std::string_view file_name) {
    return (std::filesystem::path(directory) / file_name).string();
}

std::optional<std::string> prepare_table_directory(std::string_view directory) {
    const std::filesystem::path path(directory);
    std::error_code error;
    if (std::filesystem::is_directory(path, error)) return std::nullopt;
    std::string quoted(1, '\'');
    quoted += directory;
    quoted += '\'';
    if (std::filesystem::exists(path, error)) return quoted + " is not a directory";
    if (!std::filesystem::create_directories(path, error) || error) return "cannot create the directory " + quoted;
    return std::nullopt;
}

std::optional<std::string> write_csv_tables(std::string_view directory, const std::vector<CsvTable>& tables,
                                            std::vector<TextWriter>& files) {
    for (const CsvTable& table : tables) {
        const std::string path = table_path(directory, table.file_name);
        TextWriter& out = files.emplace_back();
        if (!out.open(path, /*atomic=*/true))
            return "Cannot create the table file '" + path + "': " + out.problem() + ".";
        out.put_records(csv_document(table));
    }
    return std::nullopt;
}

}  // namespace tk
