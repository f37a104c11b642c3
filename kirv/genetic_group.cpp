#include "kirv/genetic_group.hpp"

#include <algorithm>
#include <cctype>

#include "common/names.hpp"
#include "common/tokenizer.hpp"
#include "kirv/input.hpp"

namespace kirv {
namespace {

constexpr std::string_view effect_keyword = "//EFFECT";

std::string lower(std::string_view text) {
    std::string out(text);
    tk::to_lower(out);
    return out;
}

std::string trimmed(std::string_view text) {
    std::string out(text);
    tk::left_adjust(out);
    return std::string(tk::significant(out));
}

[[noreturn]] void bad_names(const std::string& problem) {
    throw RunError(status_bad_effect_names, "The effect names of the data file do not fit its DF line: " + problem + "!");
}

// One "//EFFECT k = name" line into names; false for any other line.
bool take_name_line(std::string line, int neff, std::vector<std::string>& names) {
    tk::left_adjust(line);
    if (lower(line.substr(0, effect_keyword.size())) != lower(effect_keyword)) return false;
    const std::size_t equals = line.find('=');
    if (equals == std::string::npos) bad_names("the line '" + std::string(tk::significant(line)) + "' has no '='");
    const std::string number = trimmed(std::string_view(line).substr(effect_keyword.size(), equals - effect_keyword.size()));
    const int k = static_cast<int>(numeric_prefix(number));
    if (k < 1 || k > neff || std::to_string(k) != number)
        bad_names("'" + number + "' is not an effect number from 1 to " + std::to_string(neff));
    std::string& name = names[static_cast<std::size_t>(k - 1)];
    if (!name.empty()) bad_names("effect " + number + " is named twice");
    name = trimmed(std::string_view(line).substr(equals + 1));
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
    if (lower(name) == "mean")
        throw RunError(status_genetic_group, "Error ID of genetic group specified! The mean cannot be the genetic "
                                             "group; choose an effect of the model!");
    if (lower(name) == "residual") return neff - 1;
    const auto exact = std::find(names.begin(), names.end(), name);
    if (exact != names.end()) return static_cast<int>(exact - names.begin());
    // Letter case aside, or the nested effect named by its own factor ('dam' for 'dam|sire').
    for (const bool nested : {false, true}) {
        int found = -1;
        for (std::size_t k = 0; k < names.size(); ++k) {
            const std::string candidate = lower(nested ? names[k].substr(0, names[k].find('|')) : names[k]);
            if (candidate == lower(name) && (!nested || names[k].find('|') != std::string::npos))
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

GeneticGroup automatic_group(std::span<const std::string> names, int neff) {
    const int effects = neff - 1;  // without the residual
    for (int outer = effects - 1; outer >= 0; --outer)
        for (int inner = 0; inner < effects; ++inner)
            if (inner != outer && nested_within(names[static_cast<std::size_t>(inner)], names[static_cast<std::size_t>(outer)]))
                return {outer, names[static_cast<std::size_t>(inner)] + " is nested within it"};
    if (effects == 1) return {0, "it is the only effect of the model"};
    return {effects - 1, "it is the last effect of the model before the residual"};
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
    } else if (!names.empty()) {
        group = automatic_group(names, neff);
    } else {
        throw RunError(status_genetic_group, "ID of genetic group is not specified!");
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
