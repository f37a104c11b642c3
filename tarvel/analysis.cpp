#include "tarvel/analysis.hpp"

#include <algorithm>

#include "common/format.hpp"
#include "common/tokenizer.hpp"
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

constexpr const char* status_reducing = " Reducing X'X and X'Y Matrices ...";
constexpr const char* status_expectations = " Expectations of Mean Squares ...";
constexpr const char* status_computing = " Computing MS/MCP/DF et al ...";
constexpr int counter_step = 100;  // cases between two status counters
constexpr int progress_step = 10;  // pivots between two progress texts

int trait_count(const AnalysisInput& input) { return std::max<int>(1, static_cast<int>(input.trait_names.size())); }

void require_usable(const ColumnLayout& layout) {
    if (!layout.error.empty()) throw RunError(layout.error);
}

// First pass: which columns some case falls into.
void mark_columns(ColumnLayout& layout, tk::ScratchFile& scratch, ScratchRecord& record) {
    while (read_scratch_record(scratch, record)) mark_used_columns(layout, record.levels);
    scratch.rewind();
}

// Accumulation pass over exactly the accepted cases, with the case counter.
NormalEquations accumulate(const ColumnLayout& layout, const AnalysisInput& input, tk::ScratchFile& scratch,
                           ScratchRecord& record, tk::Host& host) {
    Accumulator acc = start_accumulation(layout, trait_count(input));
    for (std::int64_t n = 1; n <= input.cases_accepted && read_scratch_record(scratch, record); ++n) {
        accumulate_case(layout, record.levels, record.traits, acc);
        if (n % counter_step == 0)
            tk::show_counter(host, tk::write_internal("(a,i6)", {"Case: ", static_cast<long long>(n)}, 14));
    }
    return finish_accumulation(std::move(acc));
}

// The reduction panel by panel; between panels the progress text of the last
// tenth pivot reached is painted.
void reduce_with_progress(NormalEquations& eq, double tau, tk::Host& host) {
    tk::show_status(host, status_reducing);
    const int panel = reduction_panel_rows(eq.p);
    for (int done = 0; done < eq.p;) {
        done = reduce_rows(eq, tau, done, panel);
        const int shown = done - done % progress_step;
        if (shown > 0 && shown > done - panel) {
            tk::show_status(host, status_reducing);
            tk::show_progress(host, progress_text(shown, eq.p));
        }
    }
}

std::vector<PairAnalysis> analyse_pairs(const ColumnLayout& layout, const NormalEquations& eq, double tau,
                                        const ExpectedMeanSquares& ems, int t) {
    std::vector<PairAnalysis> pairs;
    pairs.reserve(static_cast<std::size_t>(t) * static_cast<std::size_t>(t + 1) / 2);
    for (int s = 0; s < t; ++s)
        for (int u = s; u < t; ++u) pairs.push_back(analyse_pair(layout, eq, tau, ems, s, u));
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

void keep_record(const ColumnLayout& layout, ExpectedMeanSquares ems, std::vector<PairAnalysis> pairs,
                 AnalysisRecord& record) {
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

}  // namespace

std::string progress_text(int i, int p) {
    std::string columns = tk::write_internal("(i6)", {p}, 6);
    tk::left_adjust(columns);
    const float percent = static_cast<float>(i) / static_cast<float>(p) * 100.0f;
    return tk::write_internal("(a,F4.1,a,a,a)",
                              {"Progress: ", percent, "% ( ", std::string(tk::significant(columns)), " )"}, 30);
}

void reduce_and_analyse(const AnalysisInput& input, tk::ScratchFile& scratch, AnalysisOutput& output,
                        tk::Host& host) {
    const int t = trait_count(input);
    const int f = static_cast<int>(input.largest_levels.size());
    if (input.listing)
        write_run_header_start(output.listing, input.largest_levels, static_cast<int>(input.trait_names.size()),
                               input.factor_names);
    ColumnLayout layout = setup_columns(input.model, input.largest_levels);
    require_usable(layout);
    ScratchRecord record = make_scratch_record(f, static_cast<int>(input.trait_names.size()));
    mark_columns(layout, scratch, record);
    compact_columns(layout);
    require_usable(layout);
    if (input.listing)
        write_run_header_end(output.listing, layout, input.trait_names, input.cases_accepted, input.cases_skipped,
                             input.case_report);

    tk::show_status(host, status_reducing);
    NormalEquations eq = accumulate(layout, input, scratch, record, host);
    const double tau = pivot_tolerance(eq);
    reduce_with_progress(eq, tau, host);

    tk::show_status(host, status_expectations);
    ExpectedMeanSquares ems = expected_mean_squares(layout, tau, eq);

    tk::show_status(host, status_computing);
    std::vector<PairAnalysis> pairs = analyse_pairs(layout, eq, tau, ems, t);
    require_four_byte_matrices(pairs, layout.source_names, input.trait_names, {input.switches, input.listing, t});
    TraitTables tables = build_trait_tables(ems.n, t, pairs, input.switches);

    if (input.listing) {
        write_analysis_sections(output.listing, input.trait_names, layout, ems, pairs, tables, input.switches);
    } else {
        write_host_results(output.tests, ems, pairs, tables, output.arrays.df, output.arrays.ss, output.arrays.ems,
                           output.arrays.vc);
    }
    if (input.switches.kirv)
        write_export_blocks(output.export_file, ems, pairs.back(), tables, layout, input.export_effect_names);
    if (output.record) keep_record(layout, std::move(ems), std::move(pairs), *output.record);
}

}  // namespace tarvel
