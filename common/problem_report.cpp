#include "common/problem_report.hpp"

namespace tk {

void add_problem_line(ProblemLines& report, std::int64_t number, std::string text) {
    if (report.first.size() < problem_lines_kept) report.first.push_back({number, std::move(text)});
    ++report.count;
}

std::string shortened_text(std::string_view text, std::size_t width) {
    std::string out(text.substr(0, width));
    for (char& c : out)
        if (c == '\n' || c == '\r' || c == '\t') c = ' ';
    if (text.size() > width && width > 3) out.replace(width - 3, 3, "...");
    return out;
}

std::vector<std::string> problem_line_list(const ProblemLines& report) {
    std::vector<std::string> lines;
    for (const ProblemLines::Line& line : report.first)
        lines.push_back("  line " + std::to_string(line.number) + ": " + line.text);
    const std::int64_t more = report.count - static_cast<std::int64_t>(report.first.size());
    if (more > 0) lines.push_back("  and " + std::to_string(more) + " more");
    return lines;
}

Json problem_lines_json(const ProblemLines& report) {
    Json first = Json::array();
    for (const ProblemLines::Line& line : report.first) first.push_back({{"line", line.number}, {"text", line.text}});
    return {{"count", report.count}, {"first", std::move(first)}};
}

}  // namespace tk
