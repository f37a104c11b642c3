#include "tarvel/absorption.hpp"

#include <algorithm>
#include <cmath>

#include "common/blas.hpp"
#include "common/threads.hpp"
#include "tarvel/reduction.hpp"

namespace tarvel {
namespace {

constexpr int first_table_bits = 10;
constexpr int prefetch_distance = 8;  // cases looked ahead in the tables

// Which share adds the cases of level d: groups of 64 levels in turn.
bool owns_level(int d, int share, int shares) { return (d >> 6) % shares == share; }

int bits_for(std::size_t count) {
    int bits = 0;
    while ((std::size_t{1} << bits) < count) ++bits;
    return bits;
}

PairCounts empty_table(int bits) {
    PairCounts table;
    table.bits = std::max(bits, first_table_bits);
    table.slots.assign(std::size_t{1} << table.bits, PairCount{});
    return table;
}

std::size_t first_slot(const PairCounts& table, std::uint32_t level, std::uint32_t column) {
    const std::uint64_t key = (std::uint64_t{level} << 32) | column;
    return static_cast<std::size_t>((key * 0x9E3779B97F4A7C15ull) >> (64 - table.bits));
}

void add_pair(PairCounts& table, PairCount entry);

// Three quarters full: twice the slots, every entry placed anew.
void grow(PairCounts& table) {
    PairCounts larger = empty_table(table.bits + 1);
    for (const PairCount& slot : table.slots)
        if (slot.count != 0) add_pair(larger, slot);
    table = std::move(larger);
}

// Adds `entry.count` to the (level, column) entry.
void add_pair(PairCounts& table, PairCount entry) {
    if (4 * (table.used + 1) > 3 * table.slots.size()) grow(table);
    const std::size_t mask = table.slots.size() - 1;
    std::size_t at = first_slot(table, entry.level, entry.column);
    while (table.slots[at].count != 0 && (table.slots[at].level != entry.level || table.slots[at].column != entry.column))
        at = (at + 1) & mask;
    PairCount& slot = table.slots[at];
    if (slot.count == 0) {
        slot.level = entry.level;
        slot.column = entry.column;
        ++table.used;
    }
    slot.count += entry.count;
}

// b(d) with the mean: columns 0, then the level's columns of P; counts n(d), then its counts.
void level_vector(const LevelSums& levels, int d, std::vector<int>& columns, std::vector<double>& counts) {
    const auto first = static_cast<std::size_t>(levels.start[static_cast<std::size_t>(d)]);
    const auto last = static_cast<std::size_t>(levels.start[static_cast<std::size_t>(d) + 1]);
    columns.assign(1, 0);
    counts.assign(1, levels.cases[static_cast<std::size_t>(d)]);
    columns.insert(columns.end(), levels.column.begin() + static_cast<std::ptrdiff_t>(first),
                   levels.column.begin() + static_cast<std::ptrdiff_t>(last));
    counts.insert(counts.end(), levels.count.begin() + static_cast<std::ptrdiff_t>(first),
                  levels.count.begin() + static_cast<std::ptrdiff_t>(last));
}

// ---------------------------------------------------------------- the inverse factor

// The factor over the accepted columns, in place: R(i,i) = sqrt(d(i)); a
// rejected column and row become those of the unit matrix; the part of each
// diagonal block below its diagonal is cleared.
void restrict_to_accepted(const std::vector<char>& accepted, BlockTriangle& r) {
    for (int j = 0; j < r.n; ++j) {
        double* column = r.column(j);
        const int rows = r.rows(r.block_of(j));
        for (int i = 0; i < j; ++i)
            if (!accepted[static_cast<std::size_t>(i)] || !accepted[static_cast<std::size_t>(j)]) column[i] = 0.0;
        column[j] = accepted[static_cast<std::size_t>(j)] ? std::sqrt(column[j]) : 1.0;
        for (int i = j + 1; i < rows; ++i) column[i] = 0.0;
    }
}

// G over the accepted columns, its diagonal blocks filled in whole.
void prepare_gram(const std::vector<char>& accepted, BlockTriangle& g) {
    for (int j = 0; j < g.n; ++j) {
        double* column = g.column(j);
        for (int i = 0; i <= j; ++i)
            if (!accepted[static_cast<std::size_t>(i)] || !accepted[static_cast<std::size_t>(j)]) column[i] = 0.0;
    }
    for (int j = 0; j < g.n; ++j) {
        const int rows = g.rows(g.block_of(j));
        for (int i = j + 1; i < rows; ++i) g.column(j)[i] = g(j, i);
    }
}

// Inverse of an upper triangular w x w matrix (contiguous), by columns:
// V(j,j) = 1/R(j,j); V(i,j) = -sum over k = i+1 ... j of R(i,k) V(k,j) / R(i,i).
std::vector<double> triangle_inverse(const std::vector<double>& r, int w) {
    const std::size_t ws = static_cast<std::size_t>(w);
    std::vector<double> v(ws * ws, 0.0);
    const auto at = [ws](int i, int j) { return static_cast<std::size_t>(i) + static_cast<std::size_t>(j) * ws; };
    for (int j = 0; j < w; ++j) {
        v[at(j, j)] = 1.0 / r[at(j, j)];
        for (int i = j - 1; i >= 0; --i) {
            double sum = 0.0;
            for (int k = i + 1; k <= j; ++k) sum += r[at(i, k)] * v[at(k, j)];
            v[at(i, j)] = -sum / r[at(i, i)];
        }
    }
    return v;
}

// R^-1 in place, block column by block column: V(J,J) = R(J,J)^-1 and
// V(0 ... f-1, J) = -V(0 ... f-1, 0 ... f-1) R(0 ... f-1, J) V(J,J), where
// the first product is summed over the earlier block columns K of V (rows 0
// ... last(K)), which are already inverted.
void invert_in_place(BlockTriangle& r) {
    std::vector<double> product;
    for (int block = 0; block < r.blocks(); ++block) {
        const int f = r.first(block);
        const int w = r.columns(block);
        const int ld = r.rows(block);
        std::vector<double> diagonal(static_cast<std::size_t>(w) * static_cast<std::size_t>(w));
        for (int c = 0; c < w; ++c)
            std::copy_n(r.column(f + c) + f, w, diagonal.data() + static_cast<std::size_t>(c) * static_cast<std::size_t>(w));
        const std::vector<double> inverse = triangle_inverse(diagonal, w);
        if (f > 0) {
            product.assign(static_cast<std::size_t>(f) * static_cast<std::size_t>(w), 0.0);
            for (int k = 0; k < block; ++k) {
                const int fk = r.first(k);
                tk::dgemm('N', 'N', r.rows(k), w, r.columns(k), 1.0, r.column(fk), r.rows(k), r.column(f) + fk, ld,
                          1.0, product.data(), f);
            }
            tk::dgemm('N', 'N', f, w, w, -1.0, product.data(), f, inverse.data(), w, 0.0, r.column(f), ld);
        }
        for (int c = 0; c < w; ++c)
            std::copy_n(inverse.data() + static_cast<std::size_t>(c) * static_cast<std::size_t>(w), w, r.column(f + c) + f);
    }
}

// Four running sums, so that the products do not wait for each other.
double dot(const double* x, const double* y, int n) {
    double sum[4] = {0.0, 0.0, 0.0, 0.0};
    int i = 0;
    for (; i + 4 <= n; i += 4)
        for (int k = 0; k < 4; ++k) sum[k] += x[i + k] * y[i + k];
    for (; i < n; ++i) sum[0] += x[i] * y[i];
    return (sum[0] + sum[1]) + (sum[2] + sum[3]);
}

// d(i) = v(i)' G v(i), v(i) column i of V, summed block by block of G: for
// the block columns L <= J of column i's block J, T = G(0 ... last(L), L)
// V(L, J) gives twice the terms above the diagonal block and once those in it.
std::vector<double> quadratic_forms(const BlockTriangle& v, const BlockTriangle& g) {
    std::vector<double> d(static_cast<std::size_t>(v.n), 0.0);
    std::vector<double> product;
    for (int block = 0; block < v.blocks(); ++block) {
        const int f = v.first(block);
        const int w = v.columns(block);
        const int ld = v.rows(block);
        for (int l = 0; l <= block; ++l) {
            const int fl = g.first(l);
            const int rl = g.rows(l);
            product.resize(static_cast<std::size_t>(rl) * static_cast<std::size_t>(w));
            tk::dgemm('N', 'N', rl, w, g.columns(l), 1.0, g.column(fl), rl, v.column(f) + fl, ld, 0.0, product.data(),
                      rl);
            for (int c = 0; c < w; ++c) {
                const double* vi = v.column(f + c);
                const double* ti = product.data() + static_cast<std::size_t>(c) * static_cast<std::size_t>(rl);
                d[static_cast<std::size_t>(f + c)] += 2.0 * dot(vi, ti, fl) + dot(vi + fl, ti + fl, rl - fl);
            }
        }
    }
    return d;
}

// ---------------------------------------------------------------- the path

// R(all) for every pair: the levels' own reduction plus that of M.
std::vector<double> full_reduction(const LevelSums& levels, const NormalEquations& m, double tau, int& rank_m) {
    const int t = m.t;
    std::vector<double> total(static_cast<std::size_t>(trait_pair_count(t)), 0.0);
    for (int d = 0; d < levels.levels; ++d) {
        const double* y = levels.y.data() + static_cast<std::size_t>(d) * static_cast<std::size_t>(t);
        const double n = levels.cases[static_cast<std::size_t>(d)];
        for (int s = 0; s < t; ++s)
            for (int u = s; u < t; ++u) total[static_cast<std::size_t>(trait_pair_index(s, u, t))] += y[s] * y[u] / n;
    }
    rank_m = 0;
    for (int i = 0; i < m.p; ++i) {
        if (!is_accepted(m, tau, i)) continue;
        ++rank_m;
        for (int s = 0; s < t; ++s)
            for (int u = s; u < t; ++u)
                total[static_cast<std::size_t>(trait_pair_index(s, u, t))] += m.xy(i, s) * m.xy(i, u);
    }
    return total;
}

// The effect's row of the source sums: R(all) - R(earlier), with
// rank(all) - rank(earlier) degrees of freedom; an effect without degrees of
// freedom adds nothing. (A pair with a constant trait has none on either
// path: the pair analysis sees to it.)
void set_effect_sums(int source, const std::vector<double>& reduction_all, int df, SourceSums& sums) {
    const int t = sums.t;
    for (int s = 0; s < t; ++s)
        for (int u = s; u < t; ++u) {
            const int pair = trait_pair_index(s, u, t);
            double earlier = 0.0;
            for (int a = 0; a < source; ++a) earlier += sums.ss_of(a, pair);
            sums.df_of(source, pair) = df > 0 ? df : 0;
            sums.ss_of(source, pair) = df > 0 ? reduction_all[static_cast<std::size_t>(pair)] - earlier : 0.0;
        }
}

// A sum of the closed form that stands for 0 comes out as rounding noise of
// the quadratic forms, whose terms are as large as the largest sums (0.14E-14
// for a coefficient 0 of a balanced two-way design beside 21): such sums are
// set to 0, as the coefficient walk of the dense path leaves out elements that
// are 0 but for rounding, so that both print an exact 0 as 0.
void clear_rounding_noise(std::vector<double>& sums) {
    double largest = 0.0;
    for (double sum : sums) largest = std::max(largest, std::fabs(sum));
    const double noise = largest * 1e-11;
    for (double& sum : sums)
        if (std::fabs(sum) <= noise) sum = 0.0;
}

}  // namespace

LevelSums start_level_sums(const ColumnLayout& layout, int effect, int traits, int shares) {
    const EffectColumns& ec = layout.effects[static_cast<std::size_t>(effect)];
    LevelSums levels;
    levels.first_column = ec.first_column;
    levels.levels = ec.level_count;
    levels.t = std::max(1, traits);
    const std::size_t m = static_cast<std::size_t>(levels.levels);
    // Tables sized for a few columns per level, so that few grow.
    const int count = std::max(shares, 1);
    levels.shares.resize(static_cast<std::size_t>(count));
    for (LevelShare& share : levels.shares) {
        share.pairs = empty_table(bits_for(8 * (m / static_cast<std::size_t>(count) + 1)));
        share.cases.assign(m, 0.0);
        share.y.assign(m * static_cast<std::size_t>(levels.t), 0.0);
    }
    return levels;
}

void add_level_cases(std::span<const int> columns, int per_case, std::span<const double> traits, LevelSums& levels,
                     int share) {
    const std::size_t ts = static_cast<std::size_t>(levels.t);
    const std::size_t count = columns.size() / static_cast<std::size_t>(per_case);
    const int shares = static_cast<int>(levels.shares.size());
    LevelShare& mine = levels.shares[static_cast<std::size_t>(share)];
    PairCounts& table = mine.pairs;
    const auto level_of = [&](std::size_t k) {
        return columns[k * static_cast<std::size_t>(per_case) + static_cast<std::size_t>(per_case - 1)] -
               levels.first_column;
    };
    for (std::size_t k = 0; k < count; ++k) {
        // The table is far larger than the cache: ask for the slots of a
        // case ahead while this one is added.
        if (const std::size_t ahead = k + prefetch_distance; ahead < count) {
            const int* col = columns.data() + ahead * static_cast<std::size_t>(per_case);
            const auto d = static_cast<std::uint32_t>(level_of(ahead));
            for (int j = 1; j < per_case - 1; ++j)
                __builtin_prefetch(&table.slots[first_slot(table, d, static_cast<std::uint32_t>(col[j]))], 1);
        }
        const int* col = columns.data() + k * static_cast<std::size_t>(per_case);
        const int d = level_of(k);
        if (shares > 1 && !owns_level(d, share, shares)) continue;
        mine.cases[static_cast<std::size_t>(d)] += 1.0;
        double* y = mine.y.data() + static_cast<std::size_t>(d) * ts;
        const double* yv = traits.data() + k * ts;
        for (std::size_t s = 0; s < ts; ++s) y[s] += yv[s];
        for (int j = 1; j < per_case - 1; ++j)
            add_pair(table, {static_cast<std::uint32_t>(d), static_cast<std::uint32_t>(col[j]), 1});
    }
}

// A level's sums come from its owner alone (the others' are 0), so that
// adding the shares in turn changes nothing in them.
void finish_level_sums(LevelSums& levels) {
    const std::size_t m = static_cast<std::size_t>(levels.levels);
    levels.cases.assign(m, 0.0);
    levels.y.assign(m * static_cast<std::size_t>(levels.t), 0.0);
    levels.start.assign(m + 1, 0);
    for (const LevelShare& share : levels.shares) {
        for (std::size_t d = 0; d < m; ++d) levels.cases[d] += share.cases[d];
        for (std::size_t k = 0; k < levels.y.size(); ++k) levels.y[k] += share.y[k];
        for (const PairCount& slot : share.pairs.slots)
            if (slot.count != 0) ++levels.start[static_cast<std::size_t>(slot.level) + 1];
    }
    for (std::size_t d = 0; d < m; ++d) levels.start[d + 1] += levels.start[d];
    // (column, count) of each level in one word, sorted by column.
    std::vector<std::uint64_t> entries(static_cast<std::size_t>(levels.start[m]));
    std::vector<std::int64_t> next(levels.start.begin(), levels.start.end() - 1);
    for (const LevelShare& share : levels.shares)
        for (const PairCount& slot : share.pairs.slots) {
            if (slot.count == 0) continue;
            const std::size_t d = slot.level;
            entries[static_cast<std::size_t>(next[d]++)] = (std::uint64_t{slot.column} << 32) | slot.count;
        }
    levels.shares = {};
    levels.column.resize(entries.size());
    levels.count.resize(entries.size());
    for (std::size_t d = 0; d < m; ++d) {
        const auto first = entries.begin() + levels.start[d];
        const auto last = entries.begin() + levels.start[d + 1];
        std::sort(first, last);
        for (auto it = first; it != last; ++it) {
            const auto k = static_cast<std::size_t>(it - entries.begin());
            levels.column[k] = static_cast<int>(*it >> 32);
            levels.count[k] = static_cast<double>(*it & 0xffffffffu);
        }
    }
}

NormalEquations absorb_levels(const NormalEquations& earlier, const LevelSums& levels, int threads) {
    NormalEquations m = earlier;
    const int shares = std::max(threads, 1);
    const int t = m.t;
    tk::run_shares(shares, [&](int share) {
        std::vector<int> columns;
        std::vector<double> counts;
        for (int d = 0; d < levels.levels; ++d) {
            const double n = levels.cases[static_cast<std::size_t>(d)];
            if (n == 0.0) continue;
            level_vector(levels, d, columns, counts);
            const double* y = levels.y.data() + static_cast<std::size_t>(d) * static_cast<std::size_t>(t);
            // M(i,j) -= b(i) b(j) / n, X'Y(j,s) -= b(j) y(s) / n, for the columns j the share owns.
            for (std::size_t j = 0; j < columns.size(); ++j) {
                const int c = columns[j];
                if (shares > 1 && !owns_column(c, share, shares)) continue;
                const double scale = counts[j] / n;
                double* column = m.a.column(c);
                for (std::size_t i = 0; i <= j; ++i) column[columns[i]] -= counts[i] * scale;
                for (int s = 0; s < t; ++s) m.xy(c, s) -= y[s] * scale;
            }
        }
    });
    return m;
}

BlockTriangle level_gram(const LevelSums& levels, int width, int threads) {
    BlockTriangle g = make_block_triangle(levels.first_column, width);
    const int shares = std::max(threads, 1);
    tk::run_shares(shares, [&](int share) {
        std::vector<int> columns;
        std::vector<double> counts;
        for (int d = 0; d < levels.levels; ++d) {
            level_vector(levels, d, columns, counts);
            for (std::size_t j = 0; j < columns.size(); ++j) {
                const int c = columns[j];
                if (shares > 1 && !owns_column(c, share, shares)) continue;
                double* column = g.column(c);
                for (std::size_t i = 0; i <= j; ++i) column[columns[i]] += counts[i] * counts[j];
            }
        }
    });
    return g;
}

std::vector<double> projected_diagonal(NormalEquations&& factor, double tau, BlockTriangle&& gram) {
    const std::vector<char> accepted = accepted_columns(factor, tau);
    BlockTriangle v = std::move(factor.a);
    factor = NormalEquations{};
    restrict_to_accepted(accepted, v);
    invert_in_place(v);
    prepare_gram(accepted, gram);
    return quadratic_forms(v, gram);
}

ReducedModel reduce_absorbed(const ColumnLayout& layout, int effect, NormalEquations&& earlier, LevelSums&& levels,
                             double tau, int threads, tk::Host& host) {
    const int source = effect + 1;
    ReducedModel model;
    model.path = ReductionPath::absorbed;
    model.absorbed_effect = effect;
    model.dense_columns = earlier.p;

    // The absorbed system first, so that its matrix is gone before G is built.
    int rank_m = 0;
    std::vector<double> reduction_all;
    {
        NormalEquations m = absorb_levels(earlier, levels, threads);
        reduce(m, tau);
        reduction_all = full_reduction(levels, m, tau, rank_m);
    }

    // The columns before the effect, as the dense path reduces them.
    reduce_with_progress(earlier, tau, layout.p, host);
    model.sums = source_sums(layout, earlier);
    model.squares = factor_squares(layout, tau, earlier);
    int rank_earlier = 0;
    for (int a = 0; a < source; ++a) rank_earlier += model.squares.df[static_cast<std::size_t>(a)];
    const int df = levels.levels + rank_m - rank_earlier;
    set_effect_sums(source, reduction_all, df, model.sums);

    // Coefficients with the effect: W(a, effect) from the projected diagonal,
    // W(effect, effect) = N - its sum.
    const std::int64_t cases = earlier.cases;
    const int width = earlier.a.width;
    const std::vector<int> column_source(layout.column_source.begin(), layout.column_source.begin() + earlier.p);
    BlockTriangle gram = level_gram(levels, width, threads);
    std::vector<double> diagonal = projected_diagonal(std::move(earlier), tau, std::move(gram));
    clear_rounding_noise(diagonal);
    double total = 0.0;
    for (std::size_t i = 0; i < diagonal.size(); ++i) {
        model.squares.w(column_source[i], source) += diagonal[i];
        total += diagonal[i];
    }
    model.squares.w(source, source) = static_cast<double>(cases) - total;
    model.squares.df[static_cast<std::size_t>(source)] = df;
    // The last effect's pivots are done too.
    if (layout.p >= 10) tk::show_progress(host, progress_text(layout.p - layout.p % 10, layout.p));
    return model;
}

}  // namespace tarvel
