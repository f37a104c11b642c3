// Tidy tables for R, pandas and spreadsheets: CSV files with a header row,
// one observation per row, LF line ends, reals with the shortest digits that
// read back to the same 8-byte value, TRUE/FALSE for flags and NA for a value
// that does not exist. `read.csv` and `pandas.read_csv` load them without
// arguments.
#pragma once

#include "common/json_output.hpp"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tk {

// One table: the column names and the rows, each cell already as CSV text.
struct CsvTable {
    std::string file_name;  // such as "anova.csv"
    std::vector<std::string> columns;
    std::vector<std::vector<std::string>> rows;
};

inline constexpr std::string_view csv_missing = "NA";

// A real with the shortest round-trip digits ("0.1", "1e+30"); NA when not finite.
std::string csv_number(double x);
// A JSON value as a cell: numbers as above (whole numbers without a point),
// true/false as TRUE/FALSE, texts quoted where needed, null as NA.
std::string csv_cell(const Json& value);
// A text as a cell, quoted (RFC 4180) when it holds a comma, a quote, a line
// end or outer blanks, so that it reads back as the text it is.
std::string csv_text(std::string_view text);
std::string csv_flag(bool flag);

// The file's text: the header, then the rows, each ended by LF.
std::string csv_document(const CsvTable& table);

// Creates the directory when it does not exist; the reason when it cannot be
// used, nullopt when it can.
std::optional<std::string> prepare_table_directory(std::string_view directory);

// Writes each table into the directory through a results writer of its own,
// appended to `files`: finishing and publishing them (with the run's other
// results) puts each under its name complete or not at all. The reason of the
// first file that cannot be created, nullopt when all were.
std::optional<std::string> write_csv_tables(std::string_view directory, const std::vector<CsvTable>& tables,
                                            std::vector<TextWriter>& files);

// The path of a table file in the directory.
std::string table_path(std::string_view directory, std::string_view file_name);

}  // namespace tk
