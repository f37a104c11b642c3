#include "tarvel/reduced_model.hpp"

#include "common/format.hpp"
#include "common/tokenizer.hpp"
#include "tarvel/reduction.hpp"

namespace tarvel {
namespace {

constexpr int progress_step = 10;  // pivots between two progress texts

}  // namespace

const char* path_name(ReductionPath path) {
    switch (path) {
        case ReductionPath::dense: return "dense";
        case ReductionPath::absorbed: return "absorbed";
        case ReductionPath::automatic: break;
    }
    return "auto";
}

std::optional<ReductionPath> parse_reduction_path(std::string_view name) {
    for (ReductionPath path : {ReductionPath::automatic, ReductionPath::dense, ReductionPath::absorbed})
        if (name == path_name(path)) return path;
    return std::nullopt;
}

int absorbable_effect(const ColumnLayout& layout) {
    for (int e = static_cast<int>(layout.effects.size()) - 1; e >= 0; --e)
        if (layout.effects[static_cast<std::size_t>(e)].level_count > 0) return e;
    return -1;
}

ReductionPath choose_reduction_path(const ColumnLayout& layout, ReductionPath requested) {
    const int e = absorbable_effect(layout);
    if (e < 0 || requested == ReductionPath::dense) return ReductionPath::dense;
    if (requested == ReductionPath::absorbed) return ReductionPath::absorbed;
    const int levels = layout.effects[static_cast<std::size_t>(e)].level_count;
    const double p = layout.p;
    const double q = layout.p - levels;
    const bool cheaper = 4.0 * q * q * q <= p * p * p;
    return levels >= absorbed_levels_minimum && cheaper ? ReductionPath::absorbed : ReductionPath::dense;
}

std::string progress_text(int i, int p) {
    std::string columns = tk::write_internal("(i6)", {p}, 6);
    tk::left_adjust(columns);
    const float percent = static_cast<float>(i) / static_cast<float>(p) * 100.0f;
    return tk::write_internal("(a,F4.1,a,a,a)",
                              {"Progress: ", percent, "% ( ", std::string(tk::significant(columns)), " )"}, 30);
}

void reduce_with_progress(NormalEquations& eq, double tau, int design_columns, tk::Host& host) {
    tk::show_status(host, status_reducing);
    Panel panel;
    for (int done = 0, shown = 0; done < eq.p;) {
        done = reduce_rows(eq, tau, done, panel);
        if (done - done % progress_step <= shown) continue;
        shown = done - done % progress_step;
        tk::show_status(host, status_reducing);
        tk::show_progress(host, progress_text(shown, design_columns));
    }
}

ReducedModel reduce_dense(const ColumnLayout& layout, NormalEquations& eq, double tau, tk::Host& host) {
    reduce_with_progress(eq, tau, layout.p, host);
    ReducedModel model;
    model.path = ReductionPath::dense;
    model.dense_columns = eq.p;
    model.squares = factor_squares(layout, tau, eq);
    model.sums = source_sums(layout, eq);
    return model;
}

}  // namespace tarvel
