// The two dense routines of the reduction (matrix product and triangular
// solve), taken from OpenBLAS loaded at run time, and the choices that must be
// made before that library starts: which of its kernels, and how many threads.
//
// The library is loaded with dlopen rather than linked, because it sets up its
// kernels, its threads and a working buffer per thread (128 MB of address
// space each) as it is loaded: linked, that happens before main, with no
// chance to pick the kernels for this processor or to keep its buffers within
// an address-space or data limit (ulimit -v, ulimit -d), under which it would
// wait for memory forever. Where the library cannot be loaded, or a limit leaves no room for
// it, plain loops of this file take its place: slower, same results to
// rounding.
//
// Matrices are column-major with a leading dimension, as in BLAS.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tk {

// What the processor and the operating system together can run.
struct ProcessorFeatures {
    bool avx2 = false;
    bool fma = false;
    bool avx512 = false;  // the AVX-512 foundation, CD, BW, DQ and VL instructions
};
ProcessorFeatures processor_features();

// The OpenBLAS kernel family to ask for (its OPENBLAS_CORETYPE): the user's
// own choice when there is one; else SkylakeX on AVX-512, Haswell on AVX2
// with FMA, and "" (the library's own detection) on anything older. Many
// virtual machines report a processor model that the library does not know,
// and it then falls back to its slowest kernels.
std::string choose_blas_kernel(const ProcessorFeatures& cpu, std::string_view user_choice);

// Address space the library takes when started with this many threads: its
// code and data, one working buffer per thread and a stack per extra thread.
std::uint64_t blas_address_space(int threads);

// The memory limits of a process (none: unlimited) and what counts against
// each now: its address space (ulimit -v) and its data, which takes the
// library's buffers and thread stacks as well (ulimit -d).
struct MemoryLimits {
    std::optional<std::uint64_t> address_space;
    std::uint64_t address_space_in_use = 0;
    std::optional<std::uint64_t> data;
    std::uint64_t data_in_use = 0;
};

// Library threads under the memory limits: at most `wanted`, and no more
// than fit in two thirds of what the tighter limit leaves beside its use (the
// rest is kept for the run's own matrices). 0 when not even one thread fits:
// the built-in routines are then used.
int choose_blas_threads(int wanted, const MemoryLimits& limits);

// How the routines are provided in this process.
struct BlasInfo {
    bool library = false;  // OpenBLAS, else the built-in loops
    std::string kernel;    // the library's name of its kernels; "built-in" without it
    int threads = 1;       // the library's threads (1 for the built-in loops)
    std::string note;      // why the built-in loops are used, when they are
};

// Loads and starts the library once per process with at most `threads`
// threads (0: every core); later calls return the first call's result. Call
// it before the run's large allocations. The routines below start it with
// every core when it has not been started.
const BlasInfo& start_blas(int threads);

// Another routine of the started library by its symbol name (benchmarks
// compare with it); null with the built-in loops or when it has none.
void* blas_routine(const char* name);

// C = alpha * op(A) * op(B) + beta * C; op is 'N' (as stored) or 'T'
// (transposed); op(A) is m x k, op(B) is k x n, C is m x n.
void dgemm(char trans_a, char trans_b, int m, int n, int k, double alpha, const double* a, int lda, const double* b,
           int ldb, double beta, double* c, int ldc);

// Solves U' X = B in place of B (m x n), U upper triangular of order m with
// its diagonal as stored.
void dtrsm_upper_transposed(int m, int n, const double* u, int ldu, double* b, int ldb);

// The built-in loops, also for the tests that compare them with the library.
namespace builtin {
void dgemm(char trans_a, char trans_b, int m, int n, int k, double alpha, const double* a, int lda, const double* b,
           int ldb, double beta, double* c, int ldc);
void dtrsm_upper_transposed(int m, int n, const double* u, int ldu, double* b, int ldb);
}  // namespace builtin

}  // namespace tk
