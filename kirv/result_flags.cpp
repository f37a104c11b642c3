#include "kirv/result_flags.hpp"

#include "kirv/heritability.hpp"

#include <cmath>

namespace kirv {
namespace {

double number_at(const tk::Json& matrix, std::size_t i, std::size_t j) {
    const tk::Json& x = matrix.at(i).at(j);
    return x.is_number() ? x.get<double>() : 0.0;
}

// The matrix whose correlations a kind of correlation holds.
const tk::Json& correlated_matrix(const tk::Json& results, const std::string& kind) {
    if (kind == "genetic_correlations") return results.at("group_level").at("genetic");
    return results.at("individual_level").at("phenotypic");
}

}  // namespace

bool heritability_at_bound(const tk::Json& results, const char* level, std::size_t trait) {
    const tk::Json& l = results.at(level);
    const double g = number_at(l.at("genetic"), trait, trait);
    const double p = number_at(l.at("phenotypic"), trait, trait);
    if (std::fabs(p) <= vanishing) return false;
    return g / p > 1.0 || g / p < 0.0;
}

bool correlation_at_bound(const tk::Json& results, const char* kind, std::size_t i, std::size_t j) {
    const tk::Json& x = correlated_matrix(results, kind);
    const double xii = number_at(x, i, i), xjj = number_at(x, j, j);
    if (xii < vanishing || xjj < vanishing) return false;
    return std::fabs(number_at(x, i, j) / std::sqrt(xjj * xii)) > 1.0;
}

std::vector<NegativeComponent> negative_components(const tk::Json& results) {
    std::vector<NegativeComponent> found;
    const tk::Json& estimated = results.at("variance_components").at("estimated");
    for (std::size_t k = 0; k < estimated.size(); ++k)
        for (std::size_t i = 0; i < estimated.at(k).size(); ++i)
            if (number_at(estimated.at(k), i, i) < 0.0) found.push_back({k, i});
    return found;
}

}  // namespace kirv
