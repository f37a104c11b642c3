#include "kirv/json_results.hpp"

#include "common/json_output.hpp"
#include "common/tokenizer.hpp"

#include <algorithm>
#include <functional>

namespace kirv {
namespace {

// The print items in flag order, as the "PRI" line and --print name them.
constexpr const char* print_items[print_flag_count] = {"be",  "vcgg", "vcpg", "vcgi", "vcpi", "h2g",
                                                       "h2i", "rg",   "srg",  "rp",   "srp"};

tk::Json per_effect(const EffectMatrices& x) {
    tk::Json array = tk::Json::array();
    for (const tk::Matrix& m : x) array.push_back(tk::json_matrix(m));
    return array;
}

// An effect number as the user gives it (1-based); 0 for the identity reference.
int effect_id(int effect) { return effect + 1; }

// An effect's name when the data file names its effects; else null.
tk::Json name_of(const Specification& input, int effect) {
    if (effect < 0 || static_cast<std::size_t>(effect) >= input.effect_names.size()) return nullptr;
    return input.effect_names[static_cast<std::size_t>(effect)];
}

tk::Json settings_document(const std::string& data_file, const std::string& listing_file,
                                 const Specification& input) {
    tk::Json print = tk::Json::object();
    for (int k = 0; k < print_flag_count; ++k) print[print_items[k]] = input.print_flags[static_cast<std::size_t>(k)];
    return {
        {"data_file", data_file},
        {"listing_file", listing_file},
        {"relationship", tk::json_number(input.relative)},
        {"genetic_group", effect_id(input.genetic_group)},
        {"genetic_group_name", name_of(input, input.genetic_group)},
        {"genetic_group_chosen_by_kirv",
         input.genetic_group_reason.empty() ? tk::Json(nullptr) : tk::Json(input.genetic_group_reason)},
        {"bending", input.bending > 0},
        {"reference", effect_id(input.reference)},
        {"reference_name", name_of(input, input.reference)},
        {"minimum_eigenvalue", tk::json_number(input.minimum_eigenvalue)},
        {"print", print},
    };
}

tk::Json level_document(const tk::Matrix& genetic, const tk::Matrix& phenotypic, const Heritabilities& h) {
    return {
        {"genetic", tk::json_matrix(genetic)},
        {"phenotypic", tk::json_matrix(phenotypic)},
        {"heritability", {{"value", tk::json_numbers(h.h2)}, {"standard_error", tk::json_numbers(h.se)}}},
    };
}

tk::Json correlation_document(const Correlations& c) {
    return {{"value", tk::json_matrix(c.r)}, {"standard_error", tk::json_matrix(c.se)}};
}

// The outcome's listing lines without blank records, surrounding blanks and
// the "=> " marker.
tk::Json outcome_messages(const Bending& b, double minimum_eigenvalue) {
    tk::Json messages = tk::Json::array();
    for (std::string line : bending_outcome_lines(b, minimum_eigenvalue)) {
        tk::left_adjust(line);
        std::string text(tk::significant(line));
        if (text.rfind("=> ", 0) == 0) text.erase(0, 3);
        if (!text.empty()) messages.push_back(text);
    }
    return messages;
}

}  // namespace

tk::Json bending_document(const std::optional<Bending>& bending, double minimum_eigenvalue) {
    tk::Json doc = {
        {"requested", bending.has_value()}, {"outcome", nullptr},           {"messages", tk::Json::array()},
        {"applied", false},                 {"reference", nullptr},         {"reference_singular", false},
        {"factor", nullptr},                {"original_eigenvalues", nullptr}, {"bent_eigenvalues", nullptr},
        {"bent_matrix", nullptr},
    };
    if (!bending) return doc;
    const Bending& b = *bending;
    const BendingOutcome outcome = classify_bending(b, minimum_eigenvalue);
    doc["outcome"] = static_cast<int>(outcome);
    doc["messages"] = outcome_messages(b, minimum_eigenvalue);
    doc["applied"] = outcome == BendingOutcome::success;
    doc["reference"] = effect_id(b.reference);
    doc["reference_singular"] = b.reference_flag == -1;
    if (b.failure != 0) return doc;  // the eigenvalues of VC(g) were not found
    // Descending, whether the core sorted them or only the driver computed them.
    std::vector<double> original = b.original;
    std::sort(original.begin(), original.end(), std::greater<>());
    doc["original_eigenvalues"] = tk::json_numbers(original);
    // The steps ran to their end: a success, or the minimum still missed at w = 1.
    const bool stepped = outcome == BendingOutcome::success || outcome == BendingOutcome::reference_unsuitable ||
                         outcome == BendingOutcome::limit_missed;
    if (!stepped) return doc;
    doc["factor"] = tk::json_number(b.factor);
    doc["bent_eigenvalues"] = tk::json_numbers(b.bent);
    doc["bent_matrix"] = tk::json_matrix(b.bent_matrix);
    return doc;
}

tk::Json results_document(const std::string& data_file, const std::string& listing_file,
                                const Specification& input, const EffectMatrices& estimated_vc,
                                const EffectMatrices& used_vc, const std::optional<Bending>& bending,
                                const Results& results) {
    tk::Json traits = tk::Json::array();
    for (const std::string& name : input.trait_names) traits.push_back(std::string(tk::significant(name)));
    return {
        {"program", "kirv"},
        {"schema_version", json_schema_version},
        {"settings", settings_document(data_file, listing_file, input)},
        {"effects", input.df.size()},
        {"effect_names", input.effect_names.empty() ? tk::Json(nullptr) : tk::Json(input.effect_names)},
        {"degrees_of_freedom", tk::json_numbers(input.df)},
        {"traits", traits},
        {"variance_components", {{"estimated", per_effect(estimated_vc)}, {"used", per_effect(used_vc)}}},
        {"group_level", level_document(results.group.genetic, results.group.phenotypic, results.group_h2)},
        {"individual_level",
         level_document(results.individual.genetic, results.individual.phenotypic, results.individual_h2)},
        {"genetic_correlations", correlation_document(results.genetic)},
        {"phenotypic_correlations", correlation_document(results.phenotypic)},
        {"bending", bending_document(bending, input.minimum_eigenvalue)},
    };
}

}  // namespace kirv
