// Time of a bending that takes every step: 60 traits, a minimum eigenvalue
// that even the scaled reference misses, so 1001 eigenvalue computations.
#include "kirv/bending.hpp"
#include "kirv/eigen.hpp"

#include <benchmark/benchmark.h>

#include <cmath>
#include <random>

namespace {

constexpr int traits = 60;

// A symmetric matrix with eigenvalues spread over [-5, 10]: R diag R' with R
// orthogonal (Gram-Schmidt on a random matrix).
tk::Matrix genetic_matrix(int n) {
    std::mt19937 rng(2024);
    std::normal_distribution<double> normal;
    tk::Matrix r(n, n);
    for (double& x : r.v) x = normal(rng);
    for (int j = 0; j < n; ++j) {
        for (int p = 0; p < j; ++p) {
            double dot = 0.0;
            for (int i = 0; i < n; ++i) dot += r(i, p) * r(i, j);
            for (int i = 0; i < n; ++i) r(i, j) -= dot * r(i, p);
        }
        double norm = 0.0;
        for (int i = 0; i < n; ++i) norm += r(i, j) * r(i, j);
        for (int i = 0; i < n; ++i) r(i, j) /= std::sqrt(norm);
    }
    tk::Matrix g(n, n);
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j)
            for (int k = 0; k < n; ++k) g(i, j) += r(i, k) * (-5.0 + 15.0 * k / (n - 1)) * r(j, k);
    return g;
}

void BM_BendingAllSteps(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const kirv::EffectMatrices vc = {genetic_matrix(n)};
    for (auto _ : state) {
        kirv::Bending b = kirv::bend_genetic_matrix(0, kirv::identity_reference, vc, 100.0, 1);
        if (b.status != kirv::bending_limit_missed) state.SkipWithError("the bending did not take every step");
        benchmark::DoNotOptimize(b);
    }
}
BENCHMARK(BM_BendingAllSteps)->Arg(traits)->Unit(benchmark::kMillisecond);

void BM_SymmetricEigenvalues(benchmark::State& state) {
    const tk::Matrix a = genetic_matrix(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        kirv::Eigenvalues e = kirv::symmetric_eigenvalues(a);
        benchmark::DoNotOptimize(e);
    }
}
BENCHMARK(BM_SymmetricEigenvalues)->Arg(traits)->Unit(benchmark::kMicrosecond);

}  // namespace
