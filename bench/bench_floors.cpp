// The floors a whole tarvel run is compared with, measured on its data file:
//   parse       reading the text cases into the scratch file (one thread);
//   accumulate  both passes over the scratch file (first pass and sums), on
//               the run's path and threads;
//   factor      one dense factorization of the system the run reduces: the
//               absorbed system on the absorbed path, X'X on the dense one.
// Usage: bench_floors DATA [threads] [auto|dense|absorbed]
#include "common/blas.hpp"
#include "common/threads.hpp"
#include "tarvel/absorption.hpp"
#include "tarvel/case_passes.hpp"
#include "tarvel/cases.hpp"
#include "tarvel/reduction.hpp"
#include "tarvel/specification.hpp"

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

double seconds_since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Processor time of the process so far (every thread), which a busy machine
// disturbs less than the wall clock.
double processor_seconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_floors DATA [threads] [auto|dense|absorbed]\n");
        return 2;
    }
    const int threads = tk::thread_count(argc > 2 ? std::atoi(argv[2]) : 0);
    const tarvel::ReductionPath requested =
        tarvel::parse_reduction_path(argc > 3 ? argv[3] : "auto").value_or(tarvel::ReductionPath::automatic);
    tk::start_blas(threads);
    tk::Host host;
    tk::TextReader data;
    if (!data.open(argv[1])) {
        std::fprintf(stderr, "cannot open %s\n", argv[1]);
        return 1;
    }
    const tarvel::Specification specification = tarvel::read_specification(data, {});
    const tarvel::CheckedSpecification checked = tarvel::check_specification(specification);
    const tarvel::Model model = tarvel::parse_model(*specification.model);
    const int t = static_cast<int>(checked.trait_names.size());

    double cpu = processor_seconds();
    auto start = std::chrono::steady_clock::now();
    tk::ScratchFile scratch;
    scratch.open();
    const tarvel::CaseSummary cases = tarvel::read_cases(
        data, scratch,
        {checked.factor_count, t, checked.case_format, specification.missing_codes, false, checked.factor_used}, host);
    scratch.rewind();
    const double parse = seconds_since(start);
    const double parse_cpu = processor_seconds() - cpu;

    cpu = processor_seconds();
    start = std::chrono::steady_clock::now();
    tarvel::ColumnLayout layout = tarvel::setup_columns(model, cases.largest_levels);
    const tarvel::ScratchShape shape{checked.factor_count, t, cases.accepted};
    tarvel::mark_columns(layout, scratch, shape, threads);
    tarvel::compact_columns(layout);
    const tarvel::ReductionPath path = tarvel::choose_reduction_path(layout, requested);
    const double tau = tarvel::pivot_tolerance(cases.accepted, layout.p);
    tarvel::NormalEquations eq;
    tarvel::LevelSums levels;
    if (path == tarvel::ReductionPath::absorbed) {
        levels = tarvel::start_level_sums(layout, tarvel::absorbable_effect(layout), t, threads);
        eq = tarvel::accumulate_equations(layout, scratch, shape, levels.first_column, &levels, threads, host);
        tarvel::finish_level_sums(levels);
    } else {
        eq = tarvel::accumulate_equations(layout, scratch, shape, 0, nullptr, threads, host);
    }
    const double accumulate = seconds_since(start);
    const double accumulate_cpu = processor_seconds() - cpu;

    if (path == tarvel::ReductionPath::absorbed) eq = tarvel::absorb_levels(eq, levels, threads);
    cpu = processor_seconds();
    start = std::chrono::steady_clock::now();
    tarvel::reduce(eq, tau);
    const double factor = seconds_since(start);
    const double factor_cpu = processor_seconds() - cpu;

    std::printf("floors: %d cases, p = %d, %s, dense order %d, %d threads, %s kernels: "
                "parse %.2f s, accumulate %.2f s, factor %.2f s (processor time %.2f, %.2f, %.2f s)\n",
                cases.accepted, layout.p, tarvel::path_name(path), eq.p, threads, tk::start_blas(0).kernel.c_str(),
                parse, accumulate, factor, parse_cpu, accumulate_cpu, factor_cpu);
    return 0;
}
