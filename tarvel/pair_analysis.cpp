#include "tarvel/pair_analysis.hpp"

#include <algorithm>
#include <climits>
#include <cmath>
#include <numbers>

namespace tarvel {
namespace {

// A series term kept as mantissa * 2^exponent, so that long series (large
// degrees of freedom) neither underflow nor overflow on the way. Scaling by
// powers of two is exact: while the plain term stays in range, value() is
// bitwise the plain term.
struct ScaledTerm {
    double mantissa;
    int exponent = 0;
    // 2^exponent while the exponent lies within -500 ... 500, else 0: the
    // product of the mantissa and this scale is then exact (a normal number),
    // the same as ldexp and much quicker in the long series of many degrees
    // of freedom.
    double scale = 1.0;

    // Keeps the mantissa within 2^-500 ... 2^500.
    void rescale() {
        if (mantissa != 0.0 && (std::fabs(mantissa) < 0x1p-500 || std::fabs(mantissa) > 0x1p500)) {
            int e = 0;
            mantissa = std::frexp(mantissa, &e);
            exponent += e;
            scale = std::abs(exponent) <= 500 ? std::ldexp(1.0, exponent) : 0.0;
        }
    }
    double value() const { return scale != 0.0 ? mantissa * scale : std::ldexp(mantissa, exponent); }
};

// The size below which a sum of the pair (s, u) is rounding noise of the
// traits themselves: sqrt(Y'Y(s,s) Y'Y(u,u)) * p * 1e-11, the traits' own
// counterpart of the pivot tolerance N * p * 1e-11.
double trait_noise_level(const SourceSums& sums, int s, int u) {
    const double yy_s = sums.yy[static_cast<std::size_t>(trait_pair_index(s, s, sums.t))];
    const double yy_u = sums.yy[static_cast<std::size_t>(trait_pair_index(u, u, sums.t))];
    return std::sqrt(std::fabs(yy_s * yy_u)) * static_cast<double>(sums.design_columns) * 1e-11;
}

// Whether trait s holds one value in every case: its total corrected for the
// mean is rounding noise of its raw sum of squares, below N * 1e-15 of it
// (the sums of N values carry a rounding error of up to about N * 1.1e-16
// of their size, and a trait whose corrected total is that small is lost in
// it). A trait that is 0 in every case is one of them.
bool constant_trait(const SourceSums& sums, int s) {
    const int pair = trait_pair_index(s, s, sums.t);
    const double yy = sums.yy[static_cast<std::size_t>(pair)];
    return yy - sums.ss_of(0, pair) <= yy * static_cast<double>(sums.cases) * 1e-15;
}

}  // namespace

double f_distribution(double f, int nn, int nd) {
    if (nd <= 0 || nn < 0) return 0.0;
    const double x = nd / (nd + nn * f);
    const double y = 1.0 - x;
    const double q = std::sqrt(y);
    const bool nn_even = nn % 2 == 0;
    const bool nd_even = nd % 2 == 0;
    double z = 0.0;
    double t0 = 0.0;
    if (nn_even && nd_even) {
        z = x;
        t0 = x * y;
    } else if (nn_even) {
        z = std::sqrt(x);
        t0 = std::sqrt(x) * y / 2.0;
    } else if (nd_even) {
        z = 1.0 - q;
        t0 = x * q / 2.0;
    } else {
        z = 1.0 - (2.0 / std::numbers::pi) * std::atan(q / std::sqrt(x));
        t0 = std::sqrt(x) * q / std::numbers::pi;
    }
    ScaledTerm t{t0};
    const int a0 = nn_even ? 2 : 1;
    const int b0 = nd_even ? 2 : 1;
    for (long long j = b0; j < nd; j += 2) {
        z -= 2.0 * t.value() / static_cast<double>(j);
        t.mantissa = t.mantissa * x * static_cast<double>(j + a0) / static_cast<double>(j);
        t.rescale();
    }
    for (long long i = a0; i < nn; i += 2) {
        z += 2.0 * t.value() / static_cast<double>(i);
        t.mantissa = t.mantissa * y * static_cast<double>(nd + i) / static_cast<double>(i);
        t.rescale();
    }
    return 1.0 - z;
}

// W leaves [0, 1] only through rounding in the series, and by no more than
// a few units in the last place. It is clamped to the nearer bound. (A
// negative W comes from an F near 0, often below 0.1; turning it into 1
// would show such a test as highly significant, probability 0.)
double f_upper_tail(double f, int nn, int nd) {
    const double w = f_distribution(f, nn, nd);
    if (w < 0.0) return 1.0;
    if (w > 1.0) return 0.0;
    return 1.0 - w;
}

SourceSums zero_source_sums(int sources, int t) {
    SourceSums sums;
    sums.sources = sources;
    sums.t = std::max(1, t);
    const std::size_t pairs = static_cast<std::size_t>(trait_pair_count(sums.t));
    sums.ss.assign(static_cast<std::size_t>(sources) * pairs, 0.0);
    sums.df.assign(static_cast<std::size_t>(sources) * pairs, 0);
    sums.yy.assign(pairs, 0.0);
    return sums;
}

SourceSums source_sums(const ColumnLayout& layout, const NormalEquations& eq) {
    SourceSums sums = zero_source_sums(static_cast<int>(layout.effects.size()) + 1, eq.t);
    sums.yy = eq.yy;
    sums.cases = eq.cases;
    sums.design_columns = layout.p;
    for (int s = 0; s < eq.t; ++s)
        for (int u = s; u < eq.t; ++u) {
            const int pair = trait_pair_index(s, u, eq.t);
            for (int i = 0; i < eq.p; ++i) {
                const double rs = eq.xy(i, s);
                const double ru = eq.xy(i, u);
                if (rs == 0.0 || ru == 0.0) continue;
                const int a = layout.column_source[static_cast<std::size_t>(i)];
                sums.ss_of(a, pair) += rs * ru;
                ++sums.df_of(a, pair);
            }
        }
    return sums;
}

PairAnalysis analyse_pair(const SourceSums& sums, double tau, const ExpectedMeanSquares& ems, int s, int u) {
    const int n = ems.n;
    const std::size_t total = static_cast<std::size_t>(n + 2);
    const std::size_t residual = total - 1;
    PairAnalysis r;
    r.s = s;
    r.u = u;
    r.ss.assign(total, 0.0);
    r.df.assign(total, 0);
    r.ms.assign(total, 0.0);
    r.vc.assign(total, 0.0);
    r.sd.assign(total, 0.0);
    r.denominator.assign(total, 0.0);
    r.satterthwaite_df.assign(total, 0.0);
    r.f.assign(total, 0.0);
    r.nd.assign(total, 0);
    r.probability.assign(total, -1.0);
    r.design_columns = sums.design_columns;

    // Source sums: the mean and the effects.
    const int pair = trait_pair_index(s, u, sums.t);
    for (int a = 0; a < sums.sources && a <= n; ++a) {
        r.ss[static_cast<std::size_t>(a)] = sums.ss_of(a, pair);
        r.df[static_cast<std::size_t>(a)] = sums.df_of(a, pair);
    }
    // A sum is set to 0 as rounding noise only when it is negligible both
    // against tau (a count) and against the traits' own size. tau alone would
    // depend on the traits' units: fat depth in metres instead of millimetres
    // would zero every effect of a large design.
    const double noise = trait_noise_level(sums, s, u);
    const auto negligible = [&](double ss) { return std::fabs(ss) <= noise; };
    // A constant trait has nothing for the effects to explain, whatever
    // rounding left in their reductions: no effect and no residual has
    // degrees of freedom or sums with it, on either way of reducing.
    const bool constant = constant_trait(sums, s) || constant_trait(sums, u);
    for (std::size_t a = 1; a < residual && constant; ++a) r.ss[a] = 0.0, r.df[a] = 0;
    for (std::size_t a = 0; a < residual; ++a) {
        if (r.df[a] != 0 && !(std::fabs(r.ss[a]) > tau) && negligible(r.ss[a])) r.ss[a] = 0.0;
        r.total_ss += r.ss[a];
        r.total_df += r.df[a];
    }

    // Residual.
    r.yy = sums.yy[static_cast<std::size_t>(pair)];
    if (sums.cases > r.total_df) {
        r.df[residual] = static_cast<int>(sums.cases - r.total_df);
        r.ss[residual] = r.yy - r.total_ss;
        if (constant || (std::fabs(r.ss[residual]) < tau && negligible(r.ss[residual]))) {
            r.ss[residual] = 0.0;
            r.df[residual] = 0;
        } else {
            r.ms[residual] = r.ss[residual] / r.df[residual];
        }
    }
    for (std::size_t a = 0; a < residual; ++a)
        if (r.df[a] > 0) r.ms[a] = r.ss[a] / r.df[a];

    // Components: VC = K^-1 MS.
    for (std::size_t a = 0; a < total; ++a) {
        double vc = 0.0;
        double var = 0.0;
        for (std::size_t b = 0; b < total; ++b) {
            const double term = ems.k_inverse(static_cast<int>(a), static_cast<int>(b)) * r.ms[b];
            vc += term;
            var += term * term / (r.df[b] + 2);
        }
        r.vc[a] = vc;
        r.sd[a] = std::sqrt(2.0 * var);
    }

    // Synthesized denominators: the combination of later mean squares whose
    // expectation is that of MS(a) without a's own component.
    for (int a = 0; a <= n; ++a) {
        double d = 0.0;
        double qsum = 0.0;
        for (int b = a + 1; b <= n + 1; ++b) {
            double w = 0.0;
            for (int c = a + 1; c <= n + 1; ++c) w += ems.k(a, c) * ems.k_inverse(c, b);
            const double term = w * r.ms[static_cast<std::size_t>(b)];
            d += term;
            if (r.df[static_cast<std::size_t>(b)] > 0) qsum += term * term / r.df[static_cast<std::size_t>(b)];
        }
        const std::size_t as = static_cast<std::size_t>(a);
        r.denominator[as] = d;
        r.satterthwaite_df[as] = qsum > 0.0 ? d * d / qsum : 0.0;
    }

    // Tests of the effects.
    for (std::size_t a = 1; a < residual; ++a) {
        const double d = r.denominator[a];
        r.f[a] = std::fabs(d) < 1e-14 ? 0.0 : std::fabs(r.ms[a] / d);
        // nu is at most the sum of the denominator's degrees of freedom; the
        // bound only guards the conversion against rounding.
        const double nu = std::fmin(r.satterthwaite_df[a], static_cast<double>(INT_MAX));
        r.nd[a] = nu >= 0.0 ? static_cast<int>(std::lround(nu)) : 0;
        if (r.has_probability(static_cast<int>(a))) r.probability[a] = f_upper_tail(r.f[a], r.df[a], r.nd[a]);
    }

    // Totals and summary.
    r.corrected_total = constant ? 0.0 : r.yy - r.ss[0];
    r.total_row_df = sums.cases - 1;
    r.accounted = constant ? 0.0 : r.yy - r.ss[0] - r.ss[residual];
    r.accounted_percent = r.corrected_total != 0.0 ? r.accounted / r.corrected_total * 100.0 : 0.0;
    return r;
}

}  // namespace tarvel
