#include "tarvel/analysis.hpp"

#include <algorithm>

#include "common/blas.hpp"
#include "common/format.hpp"
#include "common/threads.hpp"
#include "common/tokenizer.hpp"
#include "tarvel/absorption.hpp"
#include "tarvel/case_passes.hpp"
#include "tarvel/cases.hpp"
#include "tarvel/driver.hpp"
#include "tarvel/ems.hpp"
#include "tarvel/export.hpp"
#include "tarvel/host_results.hpp"
#include "tarvel/layout.hpp"
#include "tarvel/listing.hpp"
#include "tarvel/normal_equations.hpp"
#include "tarvel/pair_analysis.hpp"
#include "tarvel/reduction.hpp"
#include "tarvel/run_error.hpp"
#include "tarvel/trait_tables.hpp"
#include "tarvel/value_range.hpp"

namespace tarvel {
namespace {

constexpr const char* status_expectations = " Expectations of Mean Squares ...";
constexpr const char* status_computing = " Computing MS/MCP/DF et al ...";

int trait_count(const AnalysisInput& input) { return std::max<int>(1, static_cast<int>(input.trait_names.size())); }

void require_usable(const ColumnLayout& layout) {
    if (!layout.error.empty()) throw RunError(layout.error);
}

// Accumulation and reduction by the chosen path.
ReducedModel reduce_model(const ColumnLayout& layout, const AnalysisInput& input, const ScratchShape& shape,
                          double tau, tk::ScratchFile& scratch, tk::Host& host) {
    const int threads = tk::thread_count(input.threads);
    if (choose_reduction_path(layout, input.reduction) == ReductionPath::dense) {
        NormalEquations eq = accumulate_equations(layout, scratch, shape, 0, nullptr, threads, host);
        return reduce_dense(layout, eq, tau, host);
    }
    const int effect = absorbable_effect(layout);
    LevelSums levels = start_level_sums(layout, effect, shape.traits, threads);
    NormalEquations earlier =
        accumulate_equations(layout, scratch, shape, levels.first_column, &levels, threads, host);
    finish_level_sums(levels);
    return reduce_absorbed(layout, effect, std::move(earlier), std::move(levels), tau, threads, host);
}

// The pairs are independent; with many degrees of freedom their F series
// are long, so the threads share them.
std::vector<PairAnalysis> analyse_pairs(const SourceSums& sums, double tau, const ExpectedMeanSquares& ems, int t,
                                        int threads) {
    std::vector<std::pair<int, int>> traits;
    for (int s = 0; s < t; ++s)
        for (int u = s; u < t; ++u) traits.emplace_back(s, u);
    std::vector<PairAnalysis> pairs(traits.size());
    const int shares = std::clamp(threads, 1, static_cast<int>(traits.size()));
    tk::run_shares(shares, [&](int share) {
        for (std::size_t k = static_cast<std::size_t>(share); k < traits.size(); k += static_cast<std::size_t>(shares))
            pairs[k] = analyse_pair(sums, tau, ems, traits[k].first, traits[k].second);
    });
    return pairs;
}

// The export blocks after the header: coefficients, degrees of freedom of
// the last pair, and the sums of squares and cross products of every source.
void write_export_blocks(tk::TextWriter& out, const ExpectedMeanSquares& ems, const PairAnalysis& last_pair,
                         const TraitTables& tables, const ColumnLayout& layout, bool effect_names) {
    const int n = ems.n;
    std::vector<double> coefficients(static_cast<std::size_t>(n) * static_cast<std::size_t>(n));
    store_host_ems(ems, coefficients);
    write_export_ems_block(out, coefficients, n);
    std::vector<int> df(last_pair.df.begin() + 1, last_pair.df.end());  // effects, then the residual
    write_export_degrees_of_freedom(out, df);
    if (effect_names) write_export_effect_names(out, matrix_source_names(layout));
    write_export_sums_of_squares(out, tables.sums_of_squares.values, tables.sums_of_squares.rows,
                                 tables.sums_of_squares.t);
}

// How the run computed: the path, the effect absorbed, the dense order, the
// threads and the dense routines.
ComputationRecord computation_record(const ColumnLayout& layout, const ReducedModel& reduced, int threads) {
    ComputationRecord computation;
    computation.reduction = path_name(reduced.path);
    if (reduced.absorbed_effect >= 0)
        computation.absorbed_effect =
            std::string(tk::significant(layout.effects[static_cast<std::size_t>(reduced.absorbed_effect)].name));
    computation.dense_columns = reduced.dense_columns;
    computation.threads = threads;
    const tk::BlasInfo& blas = tk::start_blas(0);
    computation.blas_kernel = blas.kernel;
    computation.blas_threads = blas.threads;
    computation.blas_note = blas.note;
    return computation;
}

void keep_record(const ColumnLayout& layout, const ReducedModel& reduced, int threads, ExpectedMeanSquares ems,
                 std::vector<PairAnalysis> pairs, AnalysisRecord& record) {
    record.computation = computation_record(layout, reduced, threads);
    record.effect_names.clear();
    record.effect_columns.clear();
    for (const EffectColumns& effect : layout.effects) {
        record.effect_names.emplace_back(tk::significant(effect.name));
        record.effect_columns.push_back(effect.level_count);
    }
    record.design_columns = layout.p;
    record.ems = std::move(ems);
    record.pairs = std::move(pairs);
}

// An export file the user did not ask for (a table run writes it by
// default) must not stop the run: when a value does not fit its 4-byte reals
// it is left out with a warning, and an earlier one of its name goes so that
// it cannot pass for this run's. False when it is left out.
bool keep_default_export(const AnalysisInput& input, const ColumnLayout& layout, std::span<const PairAnalysis> pairs,
                         AnalysisOutput& output, tk::Host& host) {
    const std::optional<std::string> value = export_value_too_large(pairs, layout.source_names, input.trait_names);
    if (!value) return true;
    output.export_file.discard();
    tk::remove_regular_file(export_file_name);
    tk::warning(host, std::string("the export file ") + export_file_name + " for kirv is not written: the " + *value +
                          ", beyond its 4-byte reals (up to 3.40e+38). Rescale the trait (divide it by a power "
                          "of ten) to analyse it with kirv.");
    return false;
}

}  // namespace

void reduce_and_analyse(const AnalysisInput& input, tk::ScratchFile& scratch, AnalysisOutput& output,
                        tk::Host& host) {
    const int t = trait_count(input);
    const int f = static_cast<int>(input.largest_levels.size());
    if (input.listing)
        write_run_header_start(output.listing, input.largest_levels, static_cast<int>(input.trait_names.size()),
                               input.factor_names);
    tk::start_blas(input.threads);  // before the large allocations, see blas.hpp
    ColumnLayout layout = setup_columns(input.model, input.largest_levels);
    require_usable(layout);
    const ScratchShape shape{f, static_cast<int>(input.trait_names.size()), input.cases_accepted};
    mark_columns(layout, scratch, shape, tk::thread_count(input.threads));
    compact_columns(layout);
    require_usable(layout);
    if (input.listing)
        write_run_header_end(output.listing, layout, input.trait_names, input.cases_accepted, input.cases_skipped,
                             input.case_report);

    tk::show_status(host, status_reducing);
    const double tau = pivot_tolerance(input.cases_accepted, layout.p);
    const ReducedModel reduced = reduce_model(layout, input, shape, tau, scratch, host);

    tk::show_status(host, status_expectations);
    ExpectedMeanSquares ems = expected_mean_squares(layout, reduced.squares);

    tk::show_status(host, status_computing);
    std::vector<PairAnalysis> pairs = analyse_pairs(reduced.sums, tau, ems, t, tk::thread_count(input.threads));
    OutputSwitches switches = input.switches;
    if (switches.kirv && input.export_by_default) switches.kirv = keep_default_export(input, layout, pairs, output, host);
    require_four_byte_matrices(pairs, layout.source_names, input.trait_names, {switches, input.listing, t});
    TraitTables tables = build_trait_tables(ems.n, t, pairs, switches);

    if (input.listing) {
        write_analysis_sections(output.listing, input.trait_names, layout, ems, pairs, tables, switches,
                                input.factor_names.empty() ? NameShortening::cut : NameShortening::distinct);
    } else {
        write_host_results(output.tests, ems, pairs, tables, output.arrays.df, output.arrays.ss, output.arrays.ems,
                           output.arrays.vc);
    }
    if (switches.kirv)
        write_export_blocks(output.export_file, ems, pairs.back(), tables, layout, input.export_effect_names);
    if (output.record)
        keep_record(layout, reduced, tk::thread_count(input.threads), std::move(ems), std::move(pairs), *output.record);
}

}  // namespace tarvel
