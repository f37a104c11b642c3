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
        {"replaced", input.replaced_settings},
    };
}

tk::Json flag_names(const std::vector<ParameterFlag>& flags) {
    tk::Json names = tk::Json::array();
    for (ParameterFlag flag : flags) names.push_back(flag_name(flag));
    return names;
}

// Each heritability with its raw ratio (null when not computable) and flag.
tk::Json level_document(const tk::Matrix& genetic, const tk::Matrix& phenotypic, const Heritabilities& h,
                        const HeritabilityChecks& checks) {
    return {
        {"genetic", tk::json_matrix(genetic)},
        {"phenotypic", tk::json_matrix(phenotypic)},
        {"heritability",
         {{"value", tk::json_numbers(h.h2)},
          {"standard_error", tk::json_numbers(h.se)},
          {"raw", tk::json_numbers(checks.raw)},
          {"flag", flag_names(checks.flag)}}},
    };
}

// Rows of flags, laid out like the rows of the matrices.
tk::Json flag_rows(const CorrelationChecks& checks) {
    tk::Json rows = tk::Json::array();
    for (int i = 0; i < checks.raw.rows; ++i) {
        tk::Json row = tk::Json::array();
        for (int j = 0; j < checks.raw.cols; ++j) row.push_back(flag_name(checks.at(i, j)));
        rows.push_back(std::move(row));
    }
    return rows;
}

tk::Json correlation_document(const Correlations& c, const CorrelationChecks& checks) {
    return {{"value", tk::json_matrix(c.r)},
            {"standard_error", tk::json_matrix(c.se)},
            {"raw", tk::json_matrix(checks.raw)},
            {"flag", flag_rows(checks)}};
}

// The negative variance components (effects counted from 1) and whether the
// genetic matrix is positive definite.
tk::Json negative_components_document(const EstimateChecks& checks, const std::vector<std::string>& names) {
    tk::Json list = tk::Json::array();
    for (const NegativeComponent& c : checks.negative_components)
        list.push_back({{"effect", effect_id(c.effect)},
                        {"trait", std::string(tk::significant(names[static_cast<std::size_t>(c.trait)]))},
                        {"value", tk::json_number(c.value)}});
    return list;
}

tk::Json definiteness_document(const GeneticDefiniteness& d) {
    return {{"positive_definite", d.positive_definite()},
            {"smallest_eigenvalue", d.known ? tk::json_number(d.smallest_eigenvalue) : tk::Json(nullptr)}};
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
        {"variance_components",
         {{"estimated", per_effect(estimated_vc)},
          {"used", per_effect(used_vc)},
          {"negative", negative_components_document(results.checks, input.trait_names)}}},
        {"genetic_matrix", definiteness_document(results.checks.genetic_matrix)},
        {"group_level", level_document(results.group.genetic, results.group.phenotypic, results.group_h2,
                                       results.checks.group_h2)},
        {"individual_level", level_document(results.individual.genetic, results.individual.phenotypic,
                                            results.individual_h2, results.checks.individual_h2)},
        {"genetic_correlations", correlation_document(results.genetic, results.checks.genetic)},
        {"phenotypic_correlations", correlation_document(results.phenotypic, results.checks.phenotypic)},
        {"bending", bending_document(bending, input.minimum_eigenvalue)},
    };
}

}  // namespace kirv
