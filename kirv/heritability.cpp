#include "kirv/heritability.hpp"

#include <cmath>
#include <cstddef>

namespace kirv {
namespace {

std::size_t at(int k) { return static_cast<std::size_t>(k); }

// Sampling divisor of the mean squares of effect l.
double divisor(const std::vector<double>& df, int l) { return df[at(l)] + 2.0; }

// Sampling variances of the numerator G and the denominator P of a
// heritability, and their covariance.
struct RatioVariances {
    double g = 0.0;
    double p = 0.0;
    double gp = 0.0;
};

Heritabilities heritabilities(const tk::Matrix& p_matrix, const tk::Matrix& g_matrix,
                              const std::vector<RatioVariances>& variances) {
    const int t = p_matrix.rows;
    Heritabilities h{std::vector<double>(at(t)), std::vector<double>(at(t))};
    for (int i = 0; i < t; ++i) {
        const double g = g_matrix(i, i);
        const double p = p_matrix(i, i);
        double h2 = 0.0;
        if (!(std::fabs(p) <= vanishing)) {
            h2 = g / p;
            if (h2 > 1.0) h2 = 1.0;
            if (h2 < 0.0) h2 = 0.0;
        }
        double se = 0.0;
        if (!(std::fabs(g) <= vanishing || std::fabs(p) <= vanishing)) {
            const RatioVariances& v = variances[at(i)];
            const double x = v.g / (g * g) + v.p / (p * p) - 2.0 * v.gp / (g * p);
            se = (g / p) * std::sqrt(std::fabs(x));  // the unclamped ratio
            if (se < 0.0) se = 0.0;
        }
        h.h2[at(i)] = h2;
        h.se[at(i)] = se;
    }
    return h;
}

// Correlations of x, with sampling variances of x's elements taken from the
// linear form x = sum_l c(l) MS(l).
Correlations correlations(const tk::Matrix& x, const std::vector<double>& c, const EffectMatrices& ms,
                          const std::vector<double>& df) {
    const int t = x.rows;
    const int m = static_cast<int>(ms.size());
    Correlations out{tk::Matrix(t, t), tk::Matrix(t, t)};
    for (int j = 0; j < t; ++j) {
        for (int i = 0; i < t; ++i) {
            const double xii = x(i, i);
            const double xjj = x(j, j);
            const double xij = x(i, j);
            double r = 0.0;
            if (!(xii < vanishing || xjj < vanishing)) {  // signed: a negative variance vanishes
                r = xij / std::sqrt(xjj * xii);
                if (r < -1.0) r = -1.0;
                if (r > 1.0) r = 1.0;
            }
            double vii = 0.0, vjj = 0.0, vij = 0.0, cii_jj = 0.0, cii_ij = 0.0, cjj_ij = 0.0;
            for (int l = 0; l < m; ++l) {
                const double a = ms[at(l)](i, i);
                const double b = ms[at(l)](j, j);
                const double q = ms[at(l)](i, j);
                const double d = divisor(df, l);
                const double c2 = c[at(l)] * c[at(l)];
                vii += c2 * 2.0 * a * a / d;
                vjj += c2 * 2.0 * b * b / d;
                vij += c2 * (a * b + q * q) / d;
                cii_jj += c2 * 2.0 * q * q / d;
                cii_ij += c2 * 2.0 * a * q / d;
                cjj_ij += c2 * 2.0 * b * q / d;
            }
            double var = 0.0;
            if (!(std::fabs(xii) < vanishing || std::fabs(xjj) < vanishing || std::fabs(xij) < vanishing))
                var = r * r *
                      (vii / (4.0 * xii * xii) + vjj / (4.0 * xjj * xjj) + vij / (xij * xij) +
                       cii_jj / (2.0 * xii * xjj) - cii_ij / (xii * xij) - cjj_ij / (xjj * xij));
            out.r(i, j) = r;
            out.se(i, j) = var < vanishing ? 0.0 : std::sqrt(var);
        }
    }
    return out;
}

}  // namespace

Heritabilities group_heritabilities(int g, const tk::Matrix& pg, const tk::Matrix& gg,
                                    const tk::Matrix& inverse_ems, const EffectMatrices& ms,
                                    const std::vector<double>& df) {
    const int t = pg.rows;
    const int m = static_cast<int>(ms.size());
    std::vector<RatioVariances> v(at(t));
    for (int i = 0; i < t; ++i) {
        // var(G) = sum_l W(g, l)^2 2 a(l)^2 / D(l); P involves effect g only.
        for (int l = 0; l < m; ++l) {
            const double a = ms[at(l)](i, i);
            const double w = inverse_ems(g, l);
            v[at(i)].g += w * w * 2.0 * a * a / divisor(df, l);
        }
        const double a = ms[at(g)](i, i);
        const double w = inverse_ems(g, g);
        v[at(i)].p = w * w * 2.0 * a * a / divisor(df, g);
        v[at(i)].gp = v[at(i)].p;
    }
    return heritabilities(pg, gg, v);
}

Heritabilities individual_heritabilities(const tk::Matrix& pi, const tk::Matrix& gi,
                                         const std::vector<double>& genetic_coefficients,
                                         const std::vector<double>& phenotypic_coefficients,
                                         const EffectMatrices& ms, const std::vector<double>& df) {
    const int t = pi.rows;
    const int m = static_cast<int>(ms.size());
    std::vector<RatioVariances> v(at(t));
    for (int i = 0; i < t; ++i) {
        for (int l = 0; l < m; ++l) {
            const double a = ms[at(l)](i, i);
            const double var_ms = 2.0 * a * a / divisor(df, l);
            const double cg = genetic_coefficients[at(l)];
            const double cp = phenotypic_coefficients[at(l)];
            v[at(i)].g += cg * cg * var_ms;
            v[at(i)].p += cp * cp * var_ms;
            v[at(i)].gp += cg * cp * var_ms;
        }
    }
    return heritabilities(pi, gi, v);
}

Correlations genetic_correlations(int g, const tk::Matrix& gg, const tk::Matrix& inverse_ems,
                                  const EffectMatrices& ms, const std::vector<double>& df) {
    std::vector<double> c(at(inverse_ems.cols));
    for (int l = 0; l < inverse_ems.cols; ++l) c[at(l)] = inverse_ems(g, l);
    return correlations(gg, c, ms, df);
}

Correlations phenotypic_correlations(const tk::Matrix& pi,
                                     const std::vector<double>& phenotypic_coefficients,
                                     const EffectMatrices& ms, const std::vector<double>& df) {
    return correlations(pi, phenotypic_coefficients, ms, df);
}

}  // namespace kirv
