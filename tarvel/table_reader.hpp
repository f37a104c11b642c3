// Reading the cases of a delimited table (comma-, tab- or semicolon-separated,
// plain or compressed with gzip or zstd, or on standard input) into the case
// scratch file, in the same records as the data-file reader writes, so that
// everything after reading is shared.
//
// The first line holds the column names. Every further line is one row:
// fields split at the separator, quoted as RFC 4180 writes them ("a ""b""",
// separators and line ends inside quotes), blanks around unquoted fields
// ignored. Only the columns that the model and the traits name are read:
//   - a factor column may hold any text; its distinct values are its levels,
//     numbered 1, 2, ... in the order of their values (numbers by size when
//     every value is a number, else texts by their bytes), so the numbers of
//     a run do not depend on the order of the rows;
//   - a trait value is a number, or missing: an empty cell, NA, "." or one of
//     the missing codes given (a code that is a number also matches the same
//     number written otherwise, "-9.0" for "-9").
// A row missing a trait value or a factor value is skipped. A row with too
// few or too many fields, or a trait value that is not a number, is a bad
// row: by default the run stops after reading, listing the first ten; when
// bad rows are to be skipped they are counted instead. The case report holds
// the missing values of every trait, the rows skipped for a missing factor
// value and the bad rows left out.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/files.hpp"
#include "common/host.hpp"
#include "tarvel/cases.hpp"
#include "tarvel/table_model.hpp"

namespace tarvel {

struct TableRequest {
    std::string file;                      // "-": standard input
    std::optional<char> separator;         // absent: found from the header
    std::string model;                     // 'flock + sex + sire + dam|sire'
    std::string traits;                    // 'bwt,wwt,fat' or '{bwt} {wwt} {fat}'
    std::vector<std::string> missing_codes;  // further codes beside the empty cell, NA and "."
    bool skip_bad_rows = false;
};

// What the reading found beyond the case counts.
struct TableReport {
    char separator = ',';
    std::int64_t rows = 0;                       // rows read after the header
    std::vector<std::string> missing_texts;      // every text read as missing, the empty one first
    std::vector<std::int64_t> missing_by_factor; // f: rows (not bad) where the factor's value is missing
    std::vector<std::int64_t> missing_by_trait;  // t: rows (not bad) where the trait is missing
    std::vector<std::string> unmatched_missing_codes;  // given codes that no cell held, as given
};

// The kinds of problem cases of a table in the case report, in this order:
// one per trait ("missing:<trait>", counts only; the colon keeps a trait's
// name apart from the other kinds), the rows skipped for a missing factor
// value, the bad rows left out (their first ten lines).
inline std::string trait_missing_kind(const std::string& trait) { return "missing:" + trait; }
inline constexpr const char* problem_missing_factor = "missing_factor";
inline constexpr const char* problem_bad_rows = "bad_rows";
inline constexpr std::size_t bad_rows_kept = 10;

struct TableReading {
    TableColumns columns;  // the model, the factors and the traits by name
    CaseSummary cases;     // skipped: every skipped row; largest levels: the number of levels; report: as above
    TableReport report;
};

// Reads the whole table into the scratch file (rewound by the caller). Raises
// RunError for a table that cannot be read, naming the file, the line and
// the column where the problem is.
TableReading read_table(const TableRequest& request, tk::ScratchFile& scratch, tk::Host& host);

// The separator that an option names: "," ";" "|" or any one character but
// a quote or a blank, "tab" (or "\t"), "comma", "semicolon".
std::optional<char> separator_named(std::string_view text);

// Whether a file is a table for this model: its first line, split as a
// header (at the separator given, else the one found), holds every column
// that the model names. False for a file that cannot be read.
bool looks_like_table(const std::string& file, std::string_view model_text, std::optional<char> separator);

}  // namespace tarvel
