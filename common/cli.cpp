#include "common/cli.hpp"

#include "common/tokenizer.hpp"

#include <unistd.h>

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

bool same_file(std::string_view a, std::string_view b) {
    if (a == standard_stream_name || b == standard_stream_name) return false;
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

std::optional<std::string> check_output_files(const OutputFiles& files) {
    const std::string_view stdout_name = standard_stream_name;
    const std::string listing(files.listing), json(files.json);
    if (listing.empty()) return std::string("-o: the listing file name is empty");
    if (files.json_given && json.empty()) return std::string("--json: the file name is empty");
    if (listing == stdout_name && json == stdout_name)
        return std::string("the listing and the JSON results cannot both go to standard output");
    if (same_file(listing, files.data)) return "-o: '" + listing + "' is the data file";
    if (const std::optional<std::string> own = own_file_named(listing, files.own_files))
        return "-o: '" + listing + "' is the program's own file " + *own;
    if (json.empty()) return std::nullopt;
    if (same_file(json, files.data)) return "--json: '" + json + "' is the data file";
    if (const std::optional<std::string> own = own_file_named(json, files.own_files))
        return "--json: '" + json + "' is the program's own file " + *own;
    if (same_file(json, listing)) return "--json: '" + json + "' is the listing file";
    std::error_code error;
    if (std::filesystem::is_directory(json, error)) return "--json: '" + json + "' is a directory";
    return std::nullopt;
}

void remove_results_file(std::string_view name) {
    if (!name.empty() && name != standard_stream_name) remove_regular_file(name);
}

bool results_on_terminal(const OutputFiles& files) {
    const bool on_stdout = files.listing == standard_stream_name || files.json == standard_stream_name;
    return on_stdout && ::isatty(STDOUT_FILENO) == 1;
}

}  // namespace tk
