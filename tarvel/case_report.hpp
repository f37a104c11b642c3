// The report of problem cases: for each kind of problem met while the cases
// are read (cases that could not be read, cases that took their values from
// more than one line, ...) how many cases it concerned and where the first few
// of them stand in the data file, with the offending text shortened.
//
// A case reader notes each problem case; the run shows the report in three
// places, one writer each: warnings on standard error, a note in the listing
// after the case counts, and the "problems" of the JSON results. A kind whose
// count is 0 is shown nowhere but the JSON, so a clean run looks as before.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/files.hpp"
#include "common/host.hpp"
#include "common/json_output.hpp"

namespace tarvel {

inline constexpr std::size_t problem_lines_kept = 5;       // lines shown per kind
inline constexpr std::size_t problem_text_width = 60;      // the offending text is shortened to this

// The longest start of the text of at most `bytes` bytes that does not end
// inside a character of UTF-8 text, so that a shortened text stays readable
// (and valid in the JSON results).
std::string_view whole_characters(std::string_view text, std::size_t bytes);

// One problem case: its line in the data file (counted from 1) and what is
// wrong there (may be empty when the line says it all).
struct ProblemLine {
    std::int64_t line = 0;
    std::string text;
};

struct ProblemCases {
    std::string key;          // the name in the JSON results, e.g. "unreadable"
    std::string description;  // follows the count: "case(s) could not be read and were left out"
    std::int64_t count = 0;
    std::vector<ProblemLine> first;  // the first `kept` of them
    std::size_t kept = problem_lines_kept;
};

struct CaseReport {
    std::vector<ProblemCases> kinds;  // in the order they were added
};

// The kind of that key, added (with its count at 0) when it is not there yet.
ProblemCases& problem_kind(CaseReport& report, std::string_view key, std::string_view description);

// The kind of that key, or nullptr.
const ProblemCases* find_problem_kind(const CaseReport& report, std::string_view key);

// Counts one problem case and keeps its line while fewer than the kind's
// `kept` are kept; the text is shortened to problem_text_width.
void note_problem_case(ProblemCases& kind, std::int64_t line, std::string_view text);

// Counts n problem cases without lines (such as the cases that lack one
// trait's value).
void count_problem_cases(ProblemCases& kind, std::int64_t n);

// Each kind with a count above 0 shows as "3 case(s) <description>." when it
// keeps no line, as "...: lines 4, 9, 12." when none of its lines has a text,
// otherwise as its line ended by ":" and one "line 7: <text>" line per kept
// case (a "..." line when more follow).

// Standard error: each kind's first line as a warning, its lines below it.
void write_case_report_warnings(tk::Host& host, const CaseReport& report);

// The listing note after the case counts: "Note: " before each kind's first
// line, its lines indented below it; nothing when there is nothing to report.
void write_case_report_note(tk::TextWriter& listing, const CaseReport& report);

// {"<key>": {"count": n, "description": d, "lines": [{"line": l, "text": t},
// ...]}, ...} for every kind, its count 0 included.
tk::Json case_report_json(const CaseReport& report);

}  // namespace tarvel
