#include "common/cli.hpp"

#include "common/tokenizer.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <system_error>

namespace tk {
namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Optional sign, then at least one digit.
bool is_signed_digits(std::string_view text) {
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) text.remove_prefix(1);
    if (text.empty()) return false;
    for (char c : text)
        if (!is_digit(c)) return false;
    return true;
}

}  // namespace

void add_version_flag(CLI::App& app, const std::string& version_text) {
    app.set_version_flag("--version", version_text, "Print the program's name and version and exit");
}

ParseOutcome parse_arguments(CLI::App& app, const std::vector<std::string>& args, std::ostream& out,
                             std::ostream& err) {
    // CLI11 takes its arguments last first.
    std::vector<std::string> reversed(args.rbegin(), args.rend());
    try {
        app.parse(reversed);
        return {true, exit_completed};
    } catch (const CLI::CallForHelp&) {
        out << app.help();
        return {false, exit_completed};
    } catch (const CLI::CallForVersion& version) {
        out << version.what() << '\n';
        return {false, exit_completed};
    } catch (const CLI::ParseError& error) {
        return {false, report_usage_error(err, app.get_name(), error.what())};
    }
}

int report_usage_error(std::ostream& err, const std::string& program, std::string_view text) {
    err << "Error Message: " << text << '\n' << "Run '" << program << " --help' for the options.\n";
    return exit_usage;
}

std::size_t decimal_prefix_length(std::string_view text) {
    std::size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    std::size_t digits = 0;
    while (i < text.size() && is_digit(text[i])) ++i, ++digits;
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && is_digit(text[i])) ++i, ++digits;
    }
    if (digits == 0) return 0;
    // The exponent counts only with its digits: "1e" and "1e+" are the number 1.
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        std::size_t j = i + 1;
        if (j < text.size() && (text[j] == '+' || text[j] == '-')) ++j;
        if (j < text.size() && is_digit(text[j])) {
            while (j < text.size() && is_digit(text[j])) ++j;
            i = j;
        }
    }
    return i;
}

std::optional<double> parse_real(std::string_view text) {
    if (text.empty() || decimal_prefix_length(text) != text.size()) return std::nullopt;
    if (text.front() == '+') text.remove_prefix(1);
    double value = 0.0;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), value);
    // Out of range ("1e999") is refused rather than taken as an infinity.
    if (r.ec != std::errc() || r.ptr != text.data() + text.size() || !std::isfinite(value)) return std::nullopt;
    return value;
}

std::optional<int> parse_whole_number(std::string_view text) {
    if (!is_signed_digits(text)) return std::nullopt;
    if (text.front() == '+') text.remove_prefix(1);
    int value = 0;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), value);
    if (r.ec != std::errc() || r.ptr != text.data() + text.size()) return std::nullopt;
    return value;
}

std::vector<std::string> list_items(std::string_view text) {
    const auto is_separator = [](char c) { return item_separators.find(c) != std::string_view::npos; };
    std::vector<std::string> items;
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && is_separator(text[i])) ++i;
        std::size_t j = i;
        while (j < text.size() && !is_separator(text[j])) ++j;
        if (j > i) items.emplace_back(text.substr(i, j - i));
        i = j;
    }
    return items;
}

std::string bad_value_text(std::string_view option, std::string_view value, std::string_view expected) {
    return std::string(option) + ": '" + std::string(value) + "' is not " + std::string(expected);
}

bool open_output(TextWriter& out, std::string_view name, bool atomic) {
    if (name == standard_stream_name) return out.open_standard_output();
    return out.open(name, atomic);
}

namespace {

// A character device (/dev/null, a terminal) takes each output's text in
// turn and replaces nothing: two outputs may share it.
bool is_character_device(std::string_view name) {
    struct stat info {};
    return ::stat(std::string(name).c_str(), &info) == 0 && S_ISCHR(info.st_mode);
}

}  // namespace

bool same_file(std::string_view a, std::string_view b) {
    if (a == standard_stream_name || b == standard_stream_name) return false;
    if (is_character_device(a) || is_character_device(b)) return false;
    const std::filesystem::path pa(a), pb(b);
    std::error_code error;
    if (std::filesystem::equivalent(pa, pb, error) && !error) return true;  // also through links
    // A file still to be created: compare the names with the existing part
    // resolved; made absolute first, or a relative name of which no part
    // exists ("r.out") would stay as written and differ from "./r.out".
    std::error_code error_a, error_b;
    const std::filesystem::path ca = std::filesystem::weakly_canonical(std::filesystem::absolute(pa, error_a), error_a);
    const std::filesystem::path cb = std::filesystem::weakly_canonical(std::filesystem::absolute(pb, error_b), error_b);
    return !error_a && !error_b && ca == cb;
}

}  // namespace tk

namespace tk {

std::optional<std::string> own_file_named(std::string_view name, std::span<const std::string_view> own_files) {
    for (std::string_view own : own_files)
        if (same_file(name, own)) return std::string(own);
    return std::nullopt;
}

namespace {

// A results file: its option, its name, and whether it was asked for.
struct ResultsFile {
    std::string_view option;
    std::string name;
};

// A results file that cannot be made where it is named: refused with the
// options, before anything is read or written, so that nothing is lost.
std::optional<std::string> writable_problem(std::string_view option, const std::string& name) {
    if (name == standard_stream_name) return std::nullopt;
    if (const std::optional<std::string> problem = results_file_problem(name))
        return std::string(option) + ": '" + name + "' " + *problem;
    return std::nullopt;
}

std::optional<std::string> check_tables(const OutputFiles& files, const std::vector<ResultsFile>& others) {
    if (!files.tables_given) return std::nullopt;
    const std::string tables(files.tables);
    if (tables.empty()) return std::string("--tables: the directory name is empty");
    if (tables == standard_stream_name) return std::string("--tables: the tables need a directory, not '-'");
    std::error_code error;
    if (std::filesystem::exists(tables, error) && !std::filesystem::is_directory(tables, error))
        return "--tables: '" + tables + "' is not a directory";
    if (const std::optional<std::string> problem = results_directory_problem(tables))
        return "--tables: '" + tables + "' " + *problem;
    for (const std::string& name : files.table_names) {
        const std::string path = (std::filesystem::path(tables) / name).string();
        for (const ResultsFile& other : others)
            if (same_file(path, other.name)) return "--tables: '" + path + "' would be the " + std::string(other.option);
        if (const std::optional<std::string> own = own_file_named(path, files.own_files))
            return "--tables: '" + path + "' would be the program's own file " + *own;
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::string> check_output_files(const OutputFiles& files) {
    const std::string listing(files.listing), json(files.json), report(files.report);
    if (listing.empty()) return std::string("-o: the listing file name is empty");
    if (files.json_given && json.empty()) return std::string("--json: the file name is empty");
    if (files.report_given && report.empty()) return std::string("--report: the file name is empty");
    if (listing == standard_stream_name && json == standard_stream_name)
        return std::string("the listing and the JSON results cannot both go to standard output");
    if (report == standard_stream_name && (listing == standard_stream_name || json == standard_stream_name))
        return std::string("only one of the listing, the JSON results and the report can go to standard output");
    if (same_file(listing, files.data)) return "-o: '" + listing + "' is the data file";
    if (const std::optional<std::string> own = own_file_named(listing, files.own_files))
        return "-o: '" + listing + "' is the program's own file " + *own;
    if (const std::optional<std::string> problem = writable_problem("-o", listing)) return problem;
    // Each results file against the data file, the program's own files and
    // the results files before it.
    std::vector<ResultsFile> named{{"listing file", listing}};
    for (const ResultsFile& result : {ResultsFile{"--json", json}, ResultsFile{"--report", report}}) {
        if (result.name.empty()) continue;
        const std::string option(result.option);
        if (same_file(result.name, files.data)) return option + ": '" + result.name + "' is the data file";
        if (const std::optional<std::string> own = own_file_named(result.name, files.own_files))
            return option + ": '" + result.name + "' is the program's own file " + *own;
        for (const ResultsFile& other : named)
            if (same_file(result.name, other.name))
                return option + ": '" + result.name + "' is the " + std::string(other.option);
        if (const std::optional<std::string> problem = writable_problem(option, result.name)) return problem;
        named.push_back({option == "--json" ? "JSON file" : "report", result.name});
    }
    named.push_back({"data file", std::string(files.data)});
    return check_tables(files, named);
}

ResultOptions add_result_options(CLI::App& app, ResultOptionTexts& texts, std::string_view table_list) {
    ResultOptions o;
    o.tables = app.add_option("--tables", texts.tables,
                              "Write tidy CSV tables (" + std::string(table_list) + ") into this directory");
    o.report = app.add_option("--report", texts.report,
                              "Write a self-contained HTML report with plots to this file; '-': standard output");
    o.line_ends = app.add_option("--line-ends", texts.line_ends,
                                 "Line ends of the listing: dos (CR LF) or unix (LF) [dos]");
    return o;
}

OutputFiles output_files(std::string_view data, std::string_view listing, const CLI::Option* json_option,
                         std::string_view json, const ResultOptions& options, const ResultOptionTexts& texts,
                         std::vector<std::string> table_names, std::span<const std::string_view> own_files) {
    return {.data = data,
            .listing = listing,
            .json_given = json_option->count() > 0,
            .json = json,
            .own_files = own_files,
            .report_given = options.report->count() > 0,
            .report = texts.report,
            .tables_given = options.tables->count() > 0,
            .tables = texts.tables,
            .table_names = std::move(table_names)};
}

std::optional<std::string> take_line_ends(const ResultOptions& options, const ResultOptionTexts& texts,
                                          bool& unix_line_ends) {
    unix_line_ends = false;
    if (options.line_ends->count() == 0) return std::nullopt;
    std::string value = texts.line_ends;
    for (char& c : value) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (value == "unix") unix_line_ends = true;
    else if (value != "dos") return bad_value_text("--line-ends", texts.line_ends, "unix or dos");
    return std::nullopt;
}

void remove_results_file(std::string_view name) {
    if (!name.empty() && name != standard_stream_name) remove_regular_file(name);
}

void remove_result_tables(std::string_view directory, const std::vector<std::string>& names) {
    if (directory.empty() || directory == standard_stream_name) return;
    for (const std::string& name : names) remove_results_file((std::filesystem::path(directory) / name).string());
}

bool results_on_terminal(std::string_view listing, std::string_view json, std::string_view report) {
    const bool on_stdout =
        listing == standard_stream_name || json == standard_stream_name || report == standard_stream_name;
    return on_stdout && ::isatty(STDOUT_FILENO) == 1;
}

}  // namespace tk
