// Reading cases into the case scratch file: throughput in bytes of data text
// per second, and the peak resident memory, which must not grow with the
// number of cases (run one size per process to compare).
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>

#include "common/freeform.hpp"
#include "gen_cases.hpp"
#include "tarvel/cases.hpp"
#include "tarvel/table_reader.hpp"

namespace {

enum class Layout { free_form, fixed_columns, table };

// One data file per size and layout, generated once and removed at exit.
struct DataFiles {
    std::map<std::pair<long, Layout>, std::string> names;
    ~DataFiles() {
        for (const auto& [cases, name] : names) std::remove(name.c_str());
    }
    const std::string& of(long cases, Layout layout = Layout::free_form) {
        auto found = names.find({cases, layout});
        if (found != names.end()) return found->second;
        const char* suffix = layout == Layout::fixed_columns ? "-fixed.txt" : layout == Layout::table ? ".csv" : ".txt";
        const std::string name =
            (std::filesystem::temp_directory_path() / ("bench-cases-" + std::to_string(cases) + suffix)).string();
        std::FILE* out = std::fopen(name.c_str(), "wb");
        bench::GeneratorSettings settings;
        settings.cases = cases;
        settings.fixed_columns = layout == Layout::fixed_columns;
        settings.table = layout == Layout::table;
        bench::generate_cases(out, settings);
        std::fclose(out);
        return names.emplace(std::make_pair(cases, layout), name).first->second;
    }
};
DataFiles data_files;

double peak_resident_megabytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

tarvel::CaseReading generated_layout() {
    tarvel::CaseReading layout;
    layout.factor_count = 4;
    layout.trait_count = 3;
    layout.missing_codes = {-9.0f};
    return layout;
}

void report(benchmark::State& state, const std::string& name) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(std::filesystem::file_size(name)));
    state.counters["peak_rss_MB"] = peak_resident_megabytes();
}

// The whole stage: free-form cases, checks, scratch records.
void BM_ReadCasesFreeForm(benchmark::State& state) {
    const std::string& name = data_files.of(state.range(0));
    tk::Host host;
    for (auto _ : state) {
        tk::TextReader data;
        data.open(name);
        tk::ScratchFile scratch;
        scratch.open();
        const tarvel::CaseSummary summary = tarvel::read_cases(data, scratch, generated_layout(), host);
        benchmark::DoNotOptimize(summary.accepted);
    }
    report(state, name);
}
BENCHMARK(BM_ReadCasesFreeForm)->Arg(100000)->Arg(2000000)->Unit(benchmark::kMillisecond);

// The same stage with a data format, over fixed columns.
void BM_ReadCasesFormatted(benchmark::State& state) {
    const std::string& name = data_files.of(state.range(0), Layout::fixed_columns);
    tk::Host host;
    tarvel::CaseReading layout = generated_layout();
    layout.case_format = "(F4.0,F4.0,F3.0,F2.0,3F8.2)";  // the generator's format with I fields read as F
    for (auto _ : state) {
        tk::TextReader data;
        data.open(name);
        tk::ScratchFile scratch;
        scratch.open();
        const tarvel::CaseSummary summary = tarvel::read_cases(data, scratch, layout, host);
        if (summary.unreadable > 0) state.SkipWithError("cases could not be read");
        benchmark::DoNotOptimize(summary.accepted);
    }
    report(state, name);
}
BENCHMARK(BM_ReadCasesFormatted)->Arg(2000000)->Unit(benchmark::kMillisecond);

// The same numbers as a comma-separated table with a header, read by the
// table reader: the same checks and scratch records, and the levels
// numbered from the texts of the factor columns.
void BM_ReadTable(benchmark::State& state) {
    const std::string& name = data_files.of(state.range(0), Layout::table);
    tk::Host host;
    const tarvel::TableRequest request{name, std::nullopt, bench::table_model, bench::table_traits, {}, false};
    for (auto _ : state) {
        tk::ScratchFile scratch;
        scratch.open();
        const tarvel::TableReading reading = tarvel::read_table(request, scratch, host);
        benchmark::DoNotOptimize(reading.cases.accepted);
    }
    report(state, name);
}
BENCHMARK(BM_ReadTable)->Arg(100000)->Arg(2000000)->Unit(benchmark::kMillisecond);

// The general free-form reader alone over the same text, for comparison.
void BM_GeneralFreeFormReader(benchmark::State& state) {
    const std::string& name = data_files.of(state.range(0));
    std::vector<float> values(7);
    std::vector<tk::Target> targets(values.begin(), values.end());
    for (auto _ : state) {
        tk::TextReader data;
        data.open(name);
        tarvel::skip_to_first_case(data);
        long cases = 0;
        while (tk::read_list(data, targets).status != tk::ReadStatus::end_of_file) ++cases;
        benchmark::DoNotOptimize(cases);
    }
    report(state, name);
}
BENCHMARK(BM_GeneralFreeFormReader)->Arg(2000000)->Unit(benchmark::kMillisecond);

}  // namespace
