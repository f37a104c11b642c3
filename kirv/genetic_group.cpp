#include "kirv/genetic_group.hpp"

#include <algorithm>
#include <cctype>
#include <optional>

#include "common/cli.hpp"
#include "common/names.hpp"
#include "common/tokenizer.hpp"
#include "kirv/input.hpp"

namespace kirv {
namespace {

constexpr std::string_view effect_keyword = "//EFFECT";

[[noreturn]] void bad_names(const std::string& problem) {
    throw RunError(status_bad_effect_names, "The effect names of the data file do not fit its DF line: " + problem + "!");
}

bool is_blank_character(char c) { return c == ' ' || c == '\t'; }

std::size_t skip_blanks(std::string_view line, std::size_t i) {
    while (i < line.size() && is_blank_character(line[i])) ++i;
    return i;
}

// The parts of a name line in the form tarvel writes it: "//EFFECT", blanks,
// the effect number in digits, an "=" and the name. Any other line, also one
// that only begins with those letters ("//Effects of sire and dam"), is a
// remark: nullopt.
struct NameLine {
    std::string number;
    std::string name;
};
std::optional<NameLine> name_line_parts(std::string_view line) {
    if (!line.starts_with(effect_keyword)) return std::nullopt;
    std::size_t i = effect_keyword.size();
    if (i >= line.size() || !is_blank_character(line[i])) return std::nullopt;
    i = skip_blanks(line, i);
    const std::size_t digits = i;
    while (i < line.size() && line[i] >= '0' && line[i] <= '9') ++i;
    if (i == digits) return std::nullopt;
    const std::size_t equals = skip_blanks(line, i);
    if (equals >= line.size() || line[equals] != '=') return std::nullopt;
    return NameLine{std::string(line.substr(digits, i - digits)), tk::trimmed(line.substr(equals + 1))};
}

// One "//EFFECT k = name" line into names; false for any other line.
bool take_name_line(std::string_view line, int neff, std::vector<std::string>& names) {
    const std::optional<NameLine> parts = name_line_parts(line);
    if (!parts) return false;
    const std::string& number = parts->number;
    const std::optional<int> k = tk::parse_whole_number(number);
    if (!k || *k < 1 || *k > neff)
        bad_names("'" + number + "' is not an effect number from 1 to " + std::to_string(neff));
    std::string& name = names[static_cast<std::size_t>(*k - 1)];
    if (!name.empty()) bad_names("effect " + number + " is named twice");
    name = parts->name;
    if (name.empty()) bad_names("effect " + number + " has an empty name");
    return true;
}

bool is_residual(int effect, int neff) { return effect == neff - 1; }

[[noreturn]] void residual_chosen(int effect, std::span<const std::string> names) {
    throw RunError(status_genetic_group, "Error ID of genetic group specified! Effect " + effect_label(effect, names) +
                                             " is the residual, which cannot be the genetic group; choose an "
                                             "effect of the model!");
}

// The effect of that name: exactly as written, else the one whose name
// differs only in letter case.
int effect_named(const std::string& name, std::span<const std::string> names, int neff) {
    if (names.empty())
        throw RunError(status_genetic_group, "The data file names no effects, so the genetic group '" + name +
                                                 "' must be given by its number (1 to " + std::to_string(neff - 1) +
                                                 ")!");
    if (tk::lowered(name) == "mean")
        throw RunError(status_genetic_group, "Error ID of genetic group specified! The mean cannot be the genetic "
                                             "group; choose an effect of the model!");
    if (tk::lowered(name) == "residual") return neff - 1;
    const auto exact = std::find(names.begin(), names.end(), name);
    if (exact != names.end()) return static_cast<int>(exact - names.begin());
    // Letter case aside, or the nested effect named by its own factor ('dam' for 'dam|sire').
    for (const bool nested : {false, true}) {
        int found = -1;
        for (std::size_t k = 0; k < names.size(); ++k) {
            const std::string candidate = tk::lowered(nested ? names[k].substr(0, names[k].find('|')) : names[k]);
            if (candidate == tk::lowered(name) && (!nested || names[k].find('|') != std::string::npos))
                found = found == -1 ? static_cast<int>(k) : -2;
        }
        if (found >= 0) return found;
    }
    throw RunError(status_genetic_group, "No effect is named '" + name + "'; the nearest is '" +
                                             tk::nearest_name(names.first(names.size() - 1), name) + "'!");
}

// Whether the term `inner` is nested within the effect `outer` ('dam|sire' within 'sire').
bool nested_within(std::string_view inner, std::string_view outer) {
    for (std::size_t start = 0;;) {
        const std::size_t end = inner.find('*', start);
        const std::string_view part = inner.substr(start, end == std::string_view::npos ? end : end - start);
        const std::size_t bar = part.find('|');
        if (bar != std::string_view::npos && part.substr(bar + 1) == outer) return true;
        if (end == std::string_view::npos) return false;
        start = end + 1;
    }
}

// The effect kirv takes when none was given, if the model leaves no doubt:
// the one effect within which others are nested, else the only effect.
// Where two effects hold nested ones (sire and dam|sire in 'sire + dam|sire
// + litter|dam') or none does, any choice could be the wrong one (a fixed
// effect such as sex taken for the sires), so there is none.
std::optional<GeneticGroup> plain_group(std::span<const std::string> names, int neff) {
    const int effects = neff - 1;  // without the residual
    std::optional<GeneticGroup> found;
    for (int outer = 0; outer < effects; ++outer)
        for (int inner = 0; inner < effects; ++inner)
            if (inner != outer && nested_within(names[static_cast<std::size_t>(inner)], names[static_cast<std::size_t>(outer)])) {
                if (found) return std::nullopt;
                found = GeneticGroup{outer, names[static_cast<std::size_t>(inner)] + " is nested within it"};
                break;
            }
    if (!found && effects == 1) found = GeneticGroup{0, "it is the only effect of the model"};
    return found;
}

[[noreturn]] void group_not_given(std::span<const std::string> names, int neff, bool shell) {
    std::string message = "ID of genetic group is not specified!";
    if (shell && !names.empty()) {
        message += " Choose it with --genetic-group, by name or number, among the effects";
        for (int k = 0; k + 1 < neff; ++k) message += (k == 0 ? " " : ", ") + effect_label(k, names);
        message += ".";
    } else if (shell) {
        message += " Choose it with --genetic-group.";
    }
    throw RunError(status_genetic_group, message);
}

}  // namespace

std::vector<std::string> read_effect_names(tk::TextReader& data, int neff) {
    std::vector<std::string> names(static_cast<std::size_t>(neff));
    bool any = false;
    data.rewind();
    std::string line;
    while (data.read_record(line)) any = take_name_line(line, neff, names) || any;
    data.rewind();
    if (!any) return {};
    for (std::size_t k = 0; k < names.size(); ++k)
        if (names[k].empty()) bad_names("effect " + std::to_string(k + 1) + " has no name");
    return names;
}

GeneticGroup choose_genetic_group(const GroupRequest& request, std::span<const std::string> names, int neff) {
    GeneticGroup group;
    if (request.name) {
        group.effect = effect_named(*request.name, names, neff);
    } else if (request.id) {
        if (*request.id < 1 || *request.id > neff)
            throw RunError(status_genetic_group, "Error ID of genetic group specified!");
        group.effect = *request.id - 1;
    } else if (std::optional<GeneticGroup> plain = request.may_choose && !names.empty() ? plain_group(names, neff) : std::nullopt) {
        group = *plain;
    } else {
        group_not_given(names, neff, request.may_choose);
    }
    if (is_residual(group.effect, neff)) residual_chosen(group.effect, names);
    return group;
}

std::string effect_label(int effect, std::span<const std::string> names) {
    std::string label = std::to_string(effect + 1);
    if (static_cast<std::size_t>(effect) < names.size()) label += " (" + names[static_cast<std::size_t>(effect)] + ")";
    return label;
}

}  // namespace kirv
