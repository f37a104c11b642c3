#include "blas.hpp"

#include <dlfcn.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "threads.hpp"

namespace tk {
namespace {

constexpr std::uint64_t megabyte = std::uint64_t{1} << 20;
// Measured with OpenBLAS 0.3.21: about 40 MB of code and data once loaded,
// a 128 MB working buffer per thread, and an 8 MB stack per extra thread;
// the figures below round each up.
constexpr std::uint64_t library_bytes = 48 * megabyte;
constexpr std::uint64_t bytes_per_thread = 136 * megabyte;
// A product of this order uses every library thread, so each sets aside its
// buffer while the address space is still free.
constexpr int warm_up_order = 256;

using DgemmRoutine = void (*)(const char*, const char*, const int*, const int*, const int*, const double*,
                              const double*, const int*, const double*, const int*, const double*, double*,
                              const int*, std::size_t, std::size_t);
using DtrsmRoutine = void (*)(const char*, const char*, const char*, const char*, const int*, const int*,
                              const double*, const double*, const int*, double*, const int*, std::size_t,
                              std::size_t, std::size_t, std::size_t);
using NameRoutine = char* (*)();
using CountRoutine = int (*)();

struct Blas {
    BlasInfo info;
    void* handle = nullptr;
    DgemmRoutine dgemm = nullptr;
    DtrsmRoutine dtrsm = nullptr;
};

std::optional<int> positive_number(const char* text) {
    if (!text) return std::nullopt;
    const std::string_view s(text);
    int value = 0;
    const auto r = std::from_chars(s.data(), s.data() + s.size(), value);
    if (r.ec != std::errc() || r.ptr != s.data() + s.size() || value < 1) return std::nullopt;
    return value;
}

std::optional<std::uint64_t> soft_limit(int resource) {
    rlimit limit{};
    if (::getrlimit(resource, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return std::nullopt;
    return static_cast<std::uint64_t>(limit.rlim_cur);
}

// The process's limits and what counts against them now: its address space
// and its data (the first and sixth fields of /proc/self/statm, in pages; the
// sixth holds the stack besides the data, which only errs on the safe side).
MemoryLimits process_memory_limits() {
    MemoryLimits limits;
    limits.address_space = soft_limit(RLIMIT_AS);
    limits.data = soft_limit(RLIMIT_DATA);
    std::FILE* statm = std::fopen("/proc/self/statm", "r");
    if (!statm) return limits;
    unsigned long long size = 0, resident = 0, shared = 0, text = 0, library = 0, data = 0;
    const int fields = std::fscanf(statm, "%llu %llu %llu %llu %llu %llu", &size, &resident, &shared, &text,
                                   &library, &data);
    std::fclose(statm);
    const auto page = static_cast<std::uint64_t>(::sysconf(_SC_PAGESIZE));
    if (fields >= 1) limits.address_space_in_use = size * page;
    if (fields == 6) limits.data_in_use = data * page;
    return limits;
}

Blas built_in(std::string note) {
    Blas blas;
    blas.info.kernel = "built-in";
    blas.info.note = std::move(note);
    return blas;
}

void* open_library() {
    for (const char* name : {"libopenblas.so.0", "libopenblas.so"})
        if (void* handle = ::dlopen(name, RTLD_NOW | RTLD_LOCAL)) return handle;
    return nullptr;
}

// Sets the library's kernels and threads in its environment, which it reads
// once, as it is loaded.
void prepare_environment(int threads) {
    const char* user_kernel = std::getenv("OPENBLAS_CORETYPE");
    const std::string kernel = choose_blas_kernel(processor_features(), user_kernel ? user_kernel : "");
    if (!kernel.empty()) ::setenv("OPENBLAS_CORETYPE", kernel.c_str(), 1);
    ::setenv("OPENBLAS_NUM_THREADS", std::to_string(threads).c_str(), 1);
}

void warm_up(const Blas& blas) {
    const std::vector<double> a(static_cast<std::size_t>(warm_up_order) * warm_up_order, 0.0);
    std::vector<double> c(a.size(), 0.0);
    const int n = warm_up_order;
    const double one = 1.0;
    blas.dgemm("N", "T", &n, &n, &n, &one, a.data(), &n, a.data(), &n, &one, c.data(), &n, 1, 1);
}

Blas load(int requested_threads) {
    int wanted = thread_count(requested_threads);
    // OPENBLAS_NUM_THREADS set by the user bounds the library's threads.
    if (const std::optional<int> user = positive_number(std::getenv("OPENBLAS_NUM_THREADS")))
        wanted = std::min(wanted, *user);
    const int threads = choose_blas_threads(wanted, process_memory_limits());
    if (threads == 0)
        return built_in("the memory limits (ulimit -v, ulimit -d) leave no room for the working buffers of OpenBLAS");
    prepare_environment(threads);
    void* handle = open_library();
    if (!handle) return built_in("the OpenBLAS library (libopenblas.so.0) was not found");
    Blas blas;
    blas.handle = handle;
    blas.dgemm = reinterpret_cast<DgemmRoutine>(::dlsym(handle, "dgemm_"));
    blas.dtrsm = reinterpret_cast<DtrsmRoutine>(::dlsym(handle, "dtrsm_"));
    if (!blas.dgemm || !blas.dtrsm) return built_in("the OpenBLAS library lacks dgemm_ or dtrsm_");
    const auto core_name = reinterpret_cast<NameRoutine>(::dlsym(handle, "openblas_get_corename"));
    const auto thread_number = reinterpret_cast<CountRoutine>(::dlsym(handle, "openblas_get_num_threads"));
    blas.info.library = true;
    blas.info.kernel = core_name ? core_name() : "unknown";
    blas.info.threads = thread_number ? thread_number() : threads;
    warm_up(blas);
    return blas;
}

const Blas& blas_state(int threads) {
    static const Blas blas = load(threads);
    return blas;
}

}  // namespace

// The compiler's test also asks the operating system whether it saves the
// wider registers, so that a feature reported here can be used.
ProcessorFeatures processor_features() {
    ProcessorFeatures cpu;
#if defined(__x86_64__) || defined(__i386__)
    __builtin_cpu_init();
    cpu.avx2 = __builtin_cpu_supports("avx2");
    cpu.fma = __builtin_cpu_supports("fma");
    cpu.avx512 = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512cd") &&
                 __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512dq") &&
                 __builtin_cpu_supports("avx512vl");
#endif
    return cpu;
}

std::string choose_blas_kernel(const ProcessorFeatures& cpu, std::string_view user_choice) {
    if (!user_choice.empty()) return std::string(user_choice);
    if (cpu.avx512 && cpu.avx2 && cpu.fma) return "SkylakeX";
    if (cpu.avx2 && cpu.fma) return "Haswell";
    return "";
}

std::uint64_t blas_address_space(int threads) {
    return library_bytes + static_cast<std::uint64_t>(std::max(threads, 0)) * bytes_per_thread;
}

int choose_blas_threads(int wanted, const MemoryLimits& limits) {
    wanted = std::max(wanted, 1);
    // What the tighter of the two limits leaves.
    std::optional<std::uint64_t> left;
    const auto take = [&left](std::optional<std::uint64_t> limit, std::uint64_t in_use) {
        if (!limit) return;
        const std::uint64_t free = *limit > in_use ? *limit - in_use : 0;
        left = left ? std::min(*left, free) : free;
    };
    take(limits.address_space, limits.address_space_in_use);
    take(limits.data, limits.data_in_use);
    if (!left) return wanted;
    const std::uint64_t room = *left / 3 * 2;
    int threads = wanted;
    while (threads > 0 && blas_address_space(threads) > room) --threads;
    return threads;
}

const BlasInfo& start_blas(int threads) { return blas_state(threads).info; }

void* blas_routine(const char* name) {
    const Blas& blas = blas_state(0);
    return blas.info.library ? ::dlsym(blas.handle, name) : nullptr;
}

void dgemm(char trans_a, char trans_b, int m, int n, int k, double alpha, const double* a, int lda, const double* b,
           int ldb, double beta, double* c, int ldc) {
    if (m <= 0 || n <= 0) return;
    const Blas& blas = blas_state(0);
    if (!blas.info.library) {
        builtin::dgemm(trans_a, trans_b, m, n, k, alpha, a, lda, b, ldb, beta, c, ldc);
        return;
    }
    blas.dgemm(&trans_a, &trans_b, &m, &n, &k, &alpha, a, &lda, b, &ldb, &beta, c, &ldc, 1, 1);
}

void dtrsm_upper_transposed(int m, int n, const double* u, int ldu, double* b, int ldb) {
    if (m <= 0 || n <= 0) return;
    const Blas& blas = blas_state(0);
    if (!blas.info.library) {
        builtin::dtrsm_upper_transposed(m, n, u, ldu, b, ldb);
        return;
    }
    const double one = 1.0;
    blas.dtrsm("L", "U", "T", "N", &m, &n, &one, u, &ldu, b, &ldb, 1, 1, 1, 1);
}

namespace builtin {

// C(i,j) = beta C(i,j) + alpha sum_l op(A)(i,l) op(B)(l,j). With A transposed
// each element is a dot product of two stored columns; otherwise columns of
// A are added into the columns of C.
void dgemm(char trans_a, char trans_b, int m, int n, int k, double alpha, const double* a, int lda, const double* b,
           int ldb, double beta, double* c, int ldc) {
    const auto at = [](const double* x, int ld, int i, int j) {
        return x[static_cast<std::size_t>(i) + static_cast<std::size_t>(j) * static_cast<std::size_t>(ld)];
    };
    const bool a_transposed = trans_a == 'T' || trans_a == 't';
    const bool b_transposed = trans_b == 'T' || trans_b == 't';
    for (int j = 0; j < n; ++j) {
        double* cj = c + static_cast<std::size_t>(j) * static_cast<std::size_t>(ldc);
        const auto b_at = [&](int l) { return b_transposed ? at(b, ldb, j, l) : at(b, ldb, l, j); };
        for (int i = 0; i < m; ++i) cj[i] = beta == 0.0 ? 0.0 : beta * cj[i];
        if (a_transposed) {
            for (int i = 0; i < m; ++i) {
                const double* ai = a + static_cast<std::size_t>(i) * static_cast<std::size_t>(lda);
                double sum = 0.0;
                for (int l = 0; l < k; ++l) sum += ai[l] * b_at(l);
                cj[i] += alpha * sum;
            }
            continue;
        }
        for (int l = 0; l < k; ++l) {
            const double blj = alpha * b_at(l);
            const double* al = a + static_cast<std::size_t>(l) * static_cast<std::size_t>(lda);
            for (int i = 0; i < m; ++i) cj[i] += al[i] * blj;
        }
    }
}

// Forward substitution with U' (lower triangular): x(i) = (b(i) - sum over
// k < i of U(k,i) x(k)) / U(i,i), column by column of B.
void dtrsm_upper_transposed(int m, int n, const double* u, int ldu, double* b, int ldb) {
    for (int j = 0; j < n; ++j) {
        double* x = b + static_cast<std::size_t>(j) * static_cast<std::size_t>(ldb);
        for (int i = 0; i < m; ++i) {
            const double* ui = u + static_cast<std::size_t>(i) * static_cast<std::size_t>(ldu);
            double sum = x[i];
            for (int k = 0; k < i; ++k) sum -= ui[k] * x[k];
            x[i] = sum / ui[i];
        }
    }
}

}  // namespace builtin
}  // namespace tk
