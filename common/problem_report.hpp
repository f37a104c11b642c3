// The lines of an input file that had a problem: how many there were, and
// the first few with their line numbers and their text, shortened. The same
// report goes to standard error, into a note of the listing and into the
// JSON results.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/json_output.hpp"

namespace tk {

inline constexpr std::size_t problem_lines_kept = 10;  // lines quoted; the rest are counted
inline constexpr std::size_t problem_text_width = 60;  // characters of a quoted text

struct ProblemLines {
    struct Line {
        std::int64_t number = 0;  // 1-based line of the file
        std::string text;         // what is wrong, with the offending text shortened
    };
    std::int64_t count = 0;
    std::vector<Line> first;  // the first problem_lines_kept
};

void add_problem_line(ProblemLines& report, std::int64_t number, std::string text);

// The text cut to `width` characters, "..." marking a cut; line ends and
// tabs shown as blanks.
std::string shortened_text(std::string_view text, std::size_t width = problem_text_width);

// One line per quoted problem ("  line 17: ..."), then "  and 5 more" when
// more were counted than quoted.
std::vector<std::string> problem_line_list(const ProblemLines& report);

// {"count": n, "first": [{"line": 17, "text": "..."}, ...]}
Json problem_lines_json(const ProblemLines& report);

}  // namespace tk
