// The choices made before OpenBLAS starts (kernels, threads under
// address-space and data limits), and the built-in routines against the library's.
#include "common/blas.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace {

constexpr std::uint64_t mb = std::uint64_t{1} << 20;

TEST(Blas, KernelChoice) {
    struct Row {
        tk::ProcessorFeatures cpu;
        const char* user;
        const char* kernel;
    };
    const Row rows[] = {
        {{true, true, true}, "", "SkylakeX"},
        {{true, true, false}, "", "Haswell"},
        {{true, false, false}, "", ""},  // AVX2 without FMA: the library decides
        {{false, false, false}, "", ""},
        {{true, true, true}, "Haswell", "Haswell"},  // the user's choice stands
        {{false, false, false}, "Zen", "Zen"},
    };
    for (const Row& row : rows) EXPECT_EQ(tk::choose_blas_kernel(row.cpu, row.user), row.kernel) << row.kernel;
}

TEST(Blas, ThreadsUnderMemoryLimits) {
    using Limit = std::optional<std::uint64_t>;
    struct Row {
        int wanted;
        Limit address_space;  // used: 20 MB
        Limit data;           // used: 10 MB
        int threads;
    };
    const Row rows[] = {
        {2, std::nullopt, std::nullopt, 2},  // no limit
        {8, 4096 * mb, std::nullopt, 8},
        {8, 1000 * mb, std::nullopt, 4},     // two thirds of 980 MB hold 4 threads (592 MB), not 5
        {2, 600 * mb, std::nullopt, 2},
        {2, 450 * mb, std::nullopt, 1},
        {2, 300 * mb, std::nullopt, 1},      // 184 MB of 187
        {2, 250 * mb, std::nullopt, 0},      // the built-in routines
        {1, 10 * mb, std::nullopt, 0},       // a limit below what is in use
        {2, std::nullopt, 195 * mb, 0},      // ulimit -d 200000: 185 MB left, two thirds hold no thread
        {2, std::nullopt, 300 * mb, 1},      // 290 MB left: 193 MB hold one
        {8, std::nullopt, 1000 * mb, 4},
        {8, 4096 * mb, 300 * mb, 1},         // the tighter limit counts, whichever it is
        {8, 300 * mb, 4096 * mb, 1},
        {1, std::nullopt, 5 * mb, 0},        // below what is in use
    };
    for (const Row& row : rows) {
        const tk::MemoryLimits limits{row.address_space, 20 * mb, row.data, 10 * mb};
        EXPECT_EQ(tk::choose_blas_threads(row.wanted, limits), row.threads)
            << row.wanted << " threads, address space " << row.address_space.value_or(0) / mb << " MB, data "
            << row.data.value_or(0) / mb << " MB";
    }
}

TEST(Blas, BuiltInRoutinesAgreeWithTheLibrary) {
    std::mt19937 rng(3);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    const int m = 37, n = 29, k = 41, ld = 45;
    std::vector<double> a(static_cast<std::size_t>(ld) * 45), b(a.size()), c(a.size());
    for (double* v : {a.data(), b.data(), c.data()})
        for (std::size_t i = 0; i < a.size(); ++i) v[i] = u(rng);
    for (const char* ops : {"NN", "TN", "NT", "TT"}) {
        std::vector<double> library = c, built_in = c;
        tk::dgemm(ops[0], ops[1], m, n, k, -1.5, a.data(), ld, b.data(), ld, 0.5, library.data(), ld);
        tk::builtin::dgemm(ops[0], ops[1], m, n, k, -1.5, a.data(), ld, b.data(), ld, 0.5, built_in.data(), ld);
        for (std::size_t i = 0; i < c.size(); ++i) ASSERT_NEAR(library[i], built_in[i], 1e-12) << ops << " " << i;
    }
    // U upper triangular with a dominant diagonal; U' X = B.
    std::vector<double> upper = a;
    for (int i = 0; i < m; ++i) upper[static_cast<std::size_t>(i) * (ld + 1)] = 4.0 + i % 3;
    std::vector<double> library = b, built_in = b;
    tk::dtrsm_upper_transposed(m, n, upper.data(), ld, library.data(), ld);
    tk::builtin::dtrsm_upper_transposed(m, n, upper.data(), ld, built_in.data(), ld);
    for (std::size_t i = 0; i < b.size(); ++i) ASSERT_NEAR(library[i], built_in[i], 1e-12) << i;
}

}  // namespace
