#include "tarvel/case_report.hpp"

#include <algorithm>

#include "common/format.hpp"

namespace tarvel {
namespace {

constexpr const char* more_lines = "...";
constexpr const char* example_indent = "    ";

std::string shortened(std::string_view text) {
    if (text.size() <= problem_text_width) return std::string(text);
    return std::string(whole_characters(text, problem_text_width - 3)) + more_lines;
}

bool has_texts(const ProblemCases& kind) {
    return std::any_of(kind.first.begin(), kind.first.end(), [](const ProblemLine& p) { return !p.text.empty(); });
}

// "lines 4, 9, 12" (with ", ..." when more cases than these were counted).
std::string line_list(const ProblemCases& kind) {
    std::string text = kind.first.size() == 1 ? "line " : "lines ";
    for (std::size_t i = 0; i < kind.first.size(); ++i) {
        if (i > 0) text += ", ";
        text += std::to_string(kind.first[i].line);
    }
    if (kind.count > static_cast<std::int64_t>(kind.first.size())) text += ", ...";
    return text;
}

// The lines of one kind: the first says how many, the rest say where.
std::vector<std::string> kind_lines(const ProblemCases& kind) {
    const std::string head = std::to_string(kind.count) + " " + kind.description;
    if (kind.first.empty()) return {head + "."};
    if (!has_texts(kind)) return {head + ": " + line_list(kind) + "."};
    std::vector<std::string> lines{head + ":"};
    for (const ProblemLine& p : kind.first) {
        std::string line = example_indent;
        line += "line " + std::to_string(p.line);
        if (!p.text.empty()) line += ": " + p.text;
        lines.push_back(std::move(line));
    }
    if (kind.count > static_cast<std::int64_t>(kind.first.size()))
        lines.push_back(example_indent + std::string(more_lines));
    return lines;
}

bool any_problem(const CaseReport& report) {
    return std::any_of(report.kinds.begin(), report.kinds.end(), [](const ProblemCases& k) { return k.count > 0; });
}

}  // namespace

std::string_view whole_characters(std::string_view text, std::size_t bytes) {
    if (text.size() <= bytes) return text;
    // A byte 10xxxxxx continues the character before it.
    while (bytes > 0 && (static_cast<unsigned char>(text[bytes]) & 0xC0) == 0x80) --bytes;
    return text.substr(0, bytes);
}

const ProblemCases* find_problem_kind(const CaseReport& report, std::string_view key) {
    for (const ProblemCases& kind : report.kinds)
        if (kind.key == key) return &kind;
    return nullptr;
}

ProblemCases& problem_kind(CaseReport& report, std::string_view key, std::string_view description) {
    for (ProblemCases& kind : report.kinds)
        if (kind.key == key) return kind;
    report.kinds.push_back({std::string(key), std::string(description), 0, {}});
    return report.kinds.back();
}

void note_problem_case(ProblemCases& kind, std::int64_t line, std::string_view text) {
    ++kind.count;
    if (kind.first.size() < kind.kept) kind.first.push_back({line, shortened(text)});
}

void count_problem_cases(ProblemCases& kind, std::int64_t n) { kind.count += n; }

void write_case_report_warnings(tk::Host& host, const CaseReport& report) {
    for (const ProblemCases& kind : report.kinds) {
        if (kind.count == 0) continue;
        std::string text;
        for (const std::string& line : kind_lines(kind)) text += (text.empty() ? "" : "\n") + line;
        tk::warning(host, text);
    }
}

void write_case_report_note(tk::TextWriter& listing, const CaseReport& report) {
    if (!any_problem(report)) return;
    tk::write_formatted(listing, "(A)", {" "});
    for (const ProblemCases& kind : report.kinds) {
        if (kind.count == 0) continue;
        const std::vector<std::string> more = kind_lines(kind);
        tk::write_formatted(listing, "(22X,A,A)", {"Note: ", more.front()});
        for (std::size_t i = 1; i < more.size(); ++i) tk::write_formatted(listing, "(28X,A)", {more[i]});
    }
}

tk::Json case_report_json(const CaseReport& report) {
    tk::Json doc = tk::Json::object();
    for (const ProblemCases& kind : report.kinds) {
        tk::Json lines = tk::Json::array();
        for (const ProblemLine& p : kind.first) lines.push_back({{"line", p.line}, {"text", p.text}});
        doc[kind.key] = {{"count", kind.count}, {"description", kind.description}, {"lines", std::move(lines)}};
    }
    return doc;
}

}  // namespace tarvel
