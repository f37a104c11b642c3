// Timing of the analysis kernels:
//   - the blocked reduction against LAPACK's Cholesky (dpotrf) of the same order;
//   - the accumulation of 10^6 cases of a herd + sire + dam-within-sire model.
// Usage: bench_reduction [order ...]   (default: 3000)
#include "tarvel/ems.hpp"
#include "tarvel/layout.hpp"
#include "tarvel/normal_equations.hpp"
#include "tarvel/pair_analysis.hpp"
#include "tarvel/reduction.hpp"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "common/blas.hpp"

using Dpotrf = void (*)(const char* uplo, const int* n, double* a, const int* lda, int* info, std::size_t uplo_len);

namespace {

double seconds_since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Symmetric, diagonally dominant (so positive definite) matrix of order p
// with t right-hand sides, in blocks of `width` columns.
tarvel::NormalEquations random_equations(int p, int t, int width) {
    tarvel::NormalEquations eq = tarvel::zero_equations(p, t, width);
    std::mt19937_64 rng(42);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    for (int j = 0; j < p; ++j)
        for (int i = 0; i <= j; ++i) eq.xx(i, j) = (i == j) ? p : u(rng);
    for (int s = 0; s < t; ++s)
        for (int i = 0; i < p; ++i) eq.xy(i, s) = u(rng);
    eq.cases = p;
    return eq;
}

// The same matrix as a full square for dpotrf.
std::vector<double> full_square(const tarvel::NormalEquations& eq) {
    std::vector<double> a(static_cast<std::size_t>(eq.p) * static_cast<std::size_t>(eq.p), 0.0);
    for (int j = 0; j < eq.p; ++j)
        for (int i = 0; i <= j; ++i) a[static_cast<std::size_t>(i) + static_cast<std::size_t>(j) * eq.p] = eq.xx(i, j);
    return a;
}

template <class F>
double best_of(int runs, F&& run) {
    double best = 1e300;
    for (int r = 0; r < runs; ++r) best = std::min(best, run());
    return best;
}

void bench_reduction(int p) {
    const int t = 3;
    const int runs = p <= 4000 ? 3 : 1;
    const std::vector<double> square = full_square(random_equations(p, t, tarvel::reduction_block_width(p)));

    // Looked up once, outside the timed region.
    const auto dpotrf = reinterpret_cast<Dpotrf>(tk::blas_routine("dpotrf_"));
    double t_potrf = std::nan("");
    if (dpotrf) {
        t_potrf = best_of(runs, [&] {
            std::vector<double> a = square;
            int info = 0;
            const auto start = std::chrono::steady_clock::now();
            dpotrf("U", &p, a.data(), &p, &info, 1);
            const double s = seconds_since(start);
            if (info != 0) std::printf("dpotrf info %d\n", info);
            return s;
        });
        std::printf("order %5d  dpotrf                  %8.3f s\n", p, t_potrf);
    } else {
        std::printf("order %5d  dpotrf not available (no BLAS library loaded): no comparison\n", p);
    }
    for (int width : {64, 128, 256}) {
        const tarvel::NormalEquations original = random_equations(p, t, width);
        const double t_blocked = best_of(runs, [&] {
            tarvel::NormalEquations eq = original;
            const auto start = std::chrono::steady_clock::now();
            tarvel::reduce(eq, 1e-8);
            return seconds_since(start);
        });
        std::printf("order %5d  blocked, width %4d      %8.3f s  (%.2f x dpotrf)%s\n", p, width, t_blocked,
                    t_blocked / t_potrf, width == tarvel::reduction_block_width(p) ? "  <- default" : "");
    }
    if (p <= 3000) {
        const tarvel::NormalEquations original = random_equations(p, t, tarvel::reduction_block_width(p));
        const double t_plain = best_of(1, [&] {
            tarvel::NormalEquations eq = original;
            const auto start = std::chrono::steady_clock::now();
            tarvel::reduce_plain(eq, 1e-8);
            return seconds_since(start);
        });
        std::printf("order %5d  plain (reference)        %8.3f s\n", p, t_plain);
    }
}

// Herd (1000 levels) + sire (500) + dam within sire (3 per sire): 3001 columns, three traits.
void bench_accumulation() {
    const int cases = 1000000;
    const int herds = 1000, sires = 500, dams = 3;
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> herd(1, herds), sire(1, sires), dam(1, dams);
    std::normal_distribution<float> y(100.0f, 10.0f);
    std::vector<tarvel::Level> levels(static_cast<std::size_t>(cases) * 3);
    std::vector<float> traits(static_cast<std::size_t>(cases) * 3);
    for (std::size_t k = 0; k < static_cast<std::size_t>(cases); ++k) {
        levels[3 * k] = static_cast<tarvel::Level>(herd(rng));
        levels[3 * k + 1] = static_cast<tarvel::Level>(sire(rng));
        levels[3 * k + 2] = static_cast<tarvel::Level>(dam(rng));
        for (std::size_t s = 0; s < 3; ++s) traits[3 * k + s] = y(rng);
    }
    tarvel::Model model;
    model.factor_count = 3;
    model.effects = {{"H", {0}}, {"S", {1}}, {"D|S", {1, 2}}};

    auto start = std::chrono::steady_clock::now();
    tarvel::ColumnLayout layout = tarvel::setup_columns(model, std::vector<int>{herds, sires, dams});
    for (std::size_t k = 0; k < static_cast<std::size_t>(cases); ++k)
        tarvel::mark_used_columns(layout, std::span<const tarvel::Level>(&levels[3 * k], 3));
    tarvel::compact_columns(layout);
    const double t_first = seconds_since(start);

    start = std::chrono::steady_clock::now();
    tarvel::Accumulator acc = tarvel::start_accumulation(layout, 3);
    for (std::size_t k = 0; k < static_cast<std::size_t>(cases); ++k)
        tarvel::accumulate_case(layout, std::span<const tarvel::Level>(&levels[3 * k], 3),
                                std::span<const float>(&traits[3 * k], 3), acc);
    tarvel::NormalEquations eq = tarvel::finish_accumulation(std::move(acc));
    const double t_accumulate = seconds_since(start);

    start = std::chrono::steady_clock::now();
    const double tau = tarvel::pivot_tolerance(eq);
    tarvel::reduce(eq, tau);
    const double t_reduce = seconds_since(start);
    start = std::chrono::steady_clock::now();
    const tarvel::ExpectedMeanSquares ems = tarvel::expected_mean_squares(layout, tarvel::factor_squares(layout, tau, eq));
    const double t_ems = seconds_since(start);
    start = std::chrono::steady_clock::now();
    double check = 0.0;
    const tarvel::SourceSums sums = tarvel::source_sums(layout, eq);
    for (int s = 0; s < 3; ++s)
        for (int u = s; u < 3; ++u) check += tarvel::analyse_pair(sums, tau, ems, s, u).vc[1];
    const double t_pairs = seconds_since(start);

    std::printf("\nherd + sire + dam|sire, %d cases, p = %d, 3 traits\n", cases, layout.p);
    std::printf("  first pass + compaction   %8.3f s\n", t_first);
    std::printf("  accumulation              %8.3f s\n", t_accumulate);
    std::printf("  reduction                 %8.3f s\n", t_reduce);
    std::printf("  expected mean squares     %8.3f s\n", t_ems);
    std::printf("  six trait pairs           %8.3f s   (df %d %d %d, check %.3g)\n", t_pairs, ems.df[1], ems.df[2],
                ems.df[3], check);
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<int> orders;
    for (int k = 1; k < argc; ++k) orders.push_back(std::atoi(argv[k]));
    if (orders.empty()) orders.push_back(3000);
    for (int p : orders) bench_reduction(p);
    bench_accumulation();
    return 0;
}
