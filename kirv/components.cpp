#include "kirv/components.hpp"

#include "common/inversion.hpp"

#include <cstddef>

namespace kirv {
namespace {

std::size_t at(int k) { return static_cast<std::size_t>(k); }

int trait_count(const EffectMatrices& x) { return x.empty() ? 0 : x[0].rows; }

// sum_{l} c(k, l) x(l) for one row k of a coefficient matrix c.
tk::Matrix combine(const tk::Matrix& c, int k, const EffectMatrices& x) {
    const int t = trait_count(x);
    tk::Matrix sum(t, t);
    for (int l = 0; l < c.cols; ++l) {
        const double ckl = c(k, l);
        const tk::Matrix& xl = x[at(l)];
        for (std::size_t e = 0; e < sum.v.size(); ++e) sum.v[e] += ckl * xl.v[e];
    }
    return sum;
}

}  // namespace

std::optional<std::string> check_components_input(const std::vector<double>& df, double relative) {
    for (std::size_t k = 0; k < df.size(); ++k)
        if (!(df[k] > 0.0))  // NaN fails as well
            return "Degree of freedom of effect " + std::to_string(k + 1) + " must be above 0!";
    if (!(relative > 0.0)) return std::string("Coefficient of coancestry of relatives must be above 0!");
    return std::nullopt;
}

EffectMatrices compute_mean_squares(const EffectMatrices& ss, const std::vector<double>& df) {
    EffectMatrices ms = ss;
    for (std::size_t k = 0; k < ms.size(); ++k)
        for (double& x : ms[k].v) x /= df[k];
    return ms;
}

ComponentSolution solve_components(const tk::Matrix& ems, const EffectMatrices& ms) {
    ComponentSolution s;
    s.inverse_ems = ems;
    const tk::Determinant det = tk::invert_with_determinant(s.inverse_ems);
    if (tk::is_singular(det)) {
        s.singular = true;
        return s;
    }
    const int m = ems.rows;
    s.vc.reserve(at(m));
    for (int k = 0; k < m; ++k) s.vc.push_back(combine(s.inverse_ems, k, ms));
    return s;
}

int clear_negative_variances(const tk::Matrix& ems, int status_word, EffectMatrices& vc,
                             EffectMatrices& ms) {
    for (tk::Matrix& v : vc)
        for (int j = 0; j < v.rows; ++j)
            if (v(j, j) < 0.0) {
                v(j, j) = 0.0;
                status_word = 1;
            }
    if (status_word == 1)
        for (int k = 0; k < ems.rows; ++k) ms[at(k)] = combine(ems, k, vc);
    return status_word;
}

GroupLevel partition_group_level(int g, const EffectMatrices& vc, const tk::Matrix& inverse_ems,
                                 const EffectMatrices& ms) {
    GroupLevel level{vc[at(g)], ms[at(g)]};
    const double wgg = inverse_ems(g, g);
    for (double& x : level.phenotypic.v) x = wgg * x;
    return level;
}

IndividualLevel partition_individual_level(int g, double relative, const EffectMatrices& vc,
                                           const tk::Matrix& inverse_ems) {
    const int m = inverse_ems.rows;
    const int t = trait_count(vc);
    IndividualLevel level{vc[at(g)], std::vector<double>(at(m)), tk::Matrix(t, t),
                          std::vector<double>(at(m), 0.0)};
    for (double& x : level.genetic.v) x /= relative;
    for (int l = 0; l < m; ++l) level.genetic_coefficients[at(l)] = inverse_ems(g, l) / relative;
    // The genetic group and every effect after it make up the phenotype.
    for (int k = g; k < m; ++k) {
        const tk::Matrix& v = vc[at(k)];
        for (std::size_t e = 0; e < v.v.size(); ++e) level.phenotypic.v[e] += v.v[e];
        for (int l = 0; l < m; ++l) level.phenotypic_coefficients[at(l)] += inverse_ems(k, l);
    }
    return level;
}

}  // namespace kirv
