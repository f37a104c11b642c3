// Test helper: runs layout, accumulation, reduction, expected mean squares
// and the pair analysis on cases held in memory, as the stages do on the
// scratch file.
#pragma once

#include "tarvel/absorption.hpp"
#include "tarvel/ems.hpp"
#include "tarvel/layout.hpp"
#include "tarvel/normal_equations.hpp"
#include "tarvel/pair_analysis.hpp"
#include "tarvel/reduction.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace tarvel_test {

struct Case {
    std::vector<tarvel::Level> levels;
    std::vector<float> y;
};

// Effect factors as letters: "A" is factor 0, "BA" lists factors 1 and 0.
inline tarvel::Model make_model(std::initializer_list<std::pair<const char*, const char*>> effects) {
    tarvel::Model model;
    for (const auto& [name, letters] : effects) {
        tarvel::Effect e;
        e.name = name;
        for (const char* c = letters; *c; ++c) {
            e.factors.push_back(*c - 'A');
            model.factor_count = std::max(model.factor_count, *c - 'A' + 1);
        }
        model.effects.push_back(e);
    }
    return model;
}

inline std::vector<int> largest_levels(const std::vector<Case>& cases, int f) {
    std::vector<int> largest(static_cast<std::size_t>(f), 1);
    for (const Case& c : cases)
        for (int g = 0; g < f; ++g) largest[g] = std::max<int>(largest[g], c.levels[static_cast<std::size_t>(g)]);
    return largest;
}

inline tarvel::ColumnLayout build_layout(const tarvel::Model& model, const std::vector<Case>& cases) {
    tarvel::ColumnLayout layout = tarvel::setup_columns(model, largest_levels(cases, model.factor_count));
    EXPECT_EQ(layout.error, "");
    for (const Case& c : cases) EXPECT_TRUE(tarvel::mark_used_columns(layout, c.levels));
    tarvel::compact_columns(layout);
    EXPECT_EQ(layout.error, "");
    return layout;
}

inline tarvel::NormalEquations accumulate(const tarvel::ColumnLayout& layout, const std::vector<Case>& cases,
                                          int t, int block_width = 0) {
    tarvel::Accumulator acc = tarvel::start_accumulation(layout, t, 0, block_width);
    for (const Case& c : cases) EXPECT_TRUE(tarvel::accumulate_case(layout, c.levels, c.y, acc));
    return tarvel::finish_accumulation(std::move(acc));
}

struct Analysis {
    tarvel::ColumnLayout layout;
    tarvel::NormalEquations eq;
    double tau = 0.0;
    tarvel::ExpectedMeanSquares ems;
    std::vector<tarvel::PairAnalysis> pairs;  // (0,0), (0,1), ..., (t-1,t-1)
};

// block <= 0: the plain reduction; else the blocked one with blocks of that width.
inline Analysis analyse(const tarvel::Model& model, const std::vector<Case>& cases, int t, int block = 0) {
    Analysis r;
    r.layout = build_layout(model, cases);
    r.eq = accumulate(r.layout, cases, t, block);
    r.tau = tarvel::pivot_tolerance(r.eq);
    if (block <= 0)
        tarvel::reduce_plain(r.eq, r.tau);
    else
        tarvel::reduce(r.eq, r.tau);
    r.ems = tarvel::expected_mean_squares(r.layout, tarvel::factor_squares(r.layout, r.tau, r.eq));
    const tarvel::SourceSums sums = tarvel::source_sums(r.layout, r.eq);
    for (int s = 0; s < r.eq.t; ++s)
        for (int u = s; u < r.eq.t; ++u) r.pairs.push_back(tarvel::analyse_pair(sums, r.tau, r.ems, s, u));
    return r;
}

// The absorbed path on the same cases, added by `shares` shares as the run's
// threads add them, the dense systems in blocks of `block` columns (0: the
// run's). The equations in .eq are those of the columns before the absorbed
// effect, unreduced.
inline Analysis analyse_absorbed(const tarvel::Model& model, const std::vector<Case>& cases, int t, int shares = 1,
                                 int block = 0) {
    Analysis r;
    r.layout = build_layout(model, cases);
    const int effect = tarvel::absorbable_effect(r.layout);
    EXPECT_GE(effect, 0);
    tarvel::LevelSums levels = tarvel::start_level_sums(r.layout, effect, t, shares);
    tarvel::Accumulator acc = tarvel::start_accumulation(r.layout, t, levels.first_column, block, shares);
    const int per_case = r.layout.columns_per_case;
    const std::size_t stride = static_cast<std::size_t>(std::max(1, t));
    std::vector<int> columns(cases.size() * static_cast<std::size_t>(per_case));
    std::vector<double> traits(cases.size() * stride, 0.0);
    for (std::size_t k = 0; k < cases.size(); ++k) {
        const std::span<int> into(columns.data() + k * static_cast<std::size_t>(per_case), static_cast<std::size_t>(per_case));
        EXPECT_EQ(tarvel::case_columns(r.layout, cases[k].levels, into), per_case);
        for (std::size_t s = 0; s < stride && s < cases[k].y.size(); ++s) traits[k * stride + s] = cases[k].y[s];
    }
    for (int share = 0; share < shares; ++share) {
        tarvel::accumulate_cases(columns, per_case, traits, acc, share);
        tarvel::add_level_cases(columns, per_case, traits, levels, share);
    }
    tarvel::finish_level_sums(levels);
    r.eq = tarvel::finish_accumulation(std::move(acc));
    r.tau = tarvel::pivot_tolerance(static_cast<std::int64_t>(cases.size()), r.layout.p);
    tk::Host host;
    tarvel::NormalEquations earlier = r.eq;
    const tarvel::ReducedModel reduced =
        tarvel::reduce_absorbed(r.layout, effect, std::move(earlier), std::move(levels), r.tau, shares, host);
    r.ems = tarvel::expected_mean_squares(r.layout, reduced.squares);
    for (int s = 0; s < r.eq.t; ++s)
        for (int u = s; u < r.eq.t; ++u) r.pairs.push_back(tarvel::analyse_pair(reduced.sums, r.tau, r.ems, s, u));
    return r;
}

// One-factor cases: `sizes[l]` cases at level l + 1, trait values from `y`.
inline std::vector<Case> one_way(const std::vector<int>& sizes, const std::vector<float>& y) {
    std::vector<Case> cases;
    std::size_t k = 0;
    for (std::size_t l = 0; l < sizes.size(); ++l)
        for (int i = 0; i < sizes[l]; ++i) cases.push_back({{static_cast<tarvel::Level>(l + 1)}, {y[k++ % y.size()]}});
    return cases;
}

}  // namespace tarvel_test
