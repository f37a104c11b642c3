#include "tarvel/reduction.hpp"

#include "common/blas.hpp"

#include <algorithm>
#include <cmath>

namespace tarvel {
namespace {

// Factors the block's own triangle row by row, as the plain algorithm does,
// in a contiguous w x w copy, and writes it back. Returns the factor U of the
// block for the panel solve: accepted rows as reduced with sqrt(d) on the
// diagonal; a rejected row becomes a unit row, so that it passes its updated
// values through unscaled and reduces nothing after it.
std::vector<double> factor_diagonal_block(NormalEquations& eq, double tau, int f, int w,
                                          std::vector<char>& accepted) {
    const std::size_t ws = static_cast<std::size_t>(w);
    std::vector<double> u(ws * ws, 0.0);
    auto at = [&u, ws](int r, int c) -> double& {
        return u[static_cast<std::size_t>(r) + static_cast<std::size_t>(c) * ws];
    };
    for (int c = 0; c < w; ++c)
        for (int r = 0; r <= c; ++r) at(r, c) = eq.xx(f + r, f + c);
    accepted.assign(ws, 0);
    for (int r = 0; r < w; ++r) {
        const double d = at(r, r);
        if (!(d > tau)) continue;  // rejected; a NaN pivot is rejected too
        accepted[static_cast<std::size_t>(r)] = 1;
        const double q = std::sqrt(d);
        for (int c = r + 1; c < w; ++c) at(r, c) /= q;
        for (int c = r + 1; c < w; ++c) {
            const double rc = at(r, c);
            for (int j = r + 1; j <= c; ++j) at(j, c) -= rc * at(r, j);
        }
    }
    for (int c = 0; c < w; ++c)
        for (int r = 0; r <= c; ++r) eq.xx(f + r, f + c) = at(r, c);
    for (int r = 0; r < w; ++r) {
        if (accepted[static_cast<std::size_t>(r)]) {
            at(r, r) = std::sqrt(at(r, r));
            continue;
        }
        at(r, r) = 1.0;
        for (int c = r + 1; c < w; ++c) at(r, c) = 0.0;
    }
    return u;
}

void gather_panel(const NormalEquations& eq, int f, int w, Panel& panel) {
    const int l = f + w;
    panel.rows = w;
    panel.columns = eq.p - l;
    panel.x.resize(static_cast<std::size_t>(w) * static_cast<std::size_t>(panel.columns));
    panel.y.resize(static_cast<std::size_t>(w) * static_cast<std::size_t>(eq.t));
    for (int c = l; c < eq.p; ++c)
        std::copy_n(eq.a.column(c) + f, w, panel.x.data() + static_cast<std::size_t>(c - l) * static_cast<std::size_t>(w));
    for (int s = 0; s < eq.t; ++s)
        std::copy_n(eq.rhs.data() + eq.at(f, s), w, panel.y.data() + static_cast<std::size_t>(s) * static_cast<std::size_t>(w));
}

void scatter_panel(const Panel& panel, int f, NormalEquations& eq) {
    const int w = panel.rows;
    const int l = f + w;
    for (int c = l; c < eq.p; ++c)
        std::copy_n(panel.x.data() + static_cast<std::size_t>(c - l) * static_cast<std::size_t>(w), w, eq.a.column(c) + f);
    for (int s = 0; s < eq.t; ++s)
        std::copy_n(panel.y.data() + static_cast<std::size_t>(s) * static_cast<std::size_t>(w), w, eq.rhs.data() + eq.at(f, s));
}

// A rejected row reduces no trait (its X'Y row is 0) and, with `rows` set,
// takes no part in the update of later rows.
void clear_rejected(const std::vector<char>& accepted, bool rows, Panel& panel) {
    const std::size_t w = static_cast<std::size_t>(panel.rows);
    for (std::size_t r = 0; r < w; ++r) {
        if (accepted[r]) continue;
        for (std::size_t s = 0; s < panel.y.size() / w; ++s) panel.y[r + s * w] = 0.0;
        if (!rows) continue;
        for (std::size_t c = 0; c < panel.x.size() / w; ++c) panel.x[r + c * w] = 0.0;
    }
}

// Every later column and X'Y, from row l on, less the panel's contribution:
// A(l ... last(L), columns of L) -= X(:, l ... last(L))' X(:, columns of L)
// for each later block L, and X'Y(l ... p-1, :) -= X' Y.
void update_trailing(const Panel& panel, int l, NormalEquations& eq) {
    BlockTriangle& a = eq.a;
    const int w = panel.rows;
    for (int block = a.block_of(l); l < eq.p && block < a.blocks(); ++block) {
        const int fl = a.first(block);
        const int ld = a.rows(block);
        tk::dgemm('T', 'N', ld - l, a.columns(block), w, -1.0, panel.x.data(), w,
                  panel.x.data() + static_cast<std::size_t>(fl - l) * static_cast<std::size_t>(w), w, 1.0,
                  a.column(fl) + l, ld);
    }
    tk::dgemm('T', 'N', eq.p - l, eq.t, w, -1.0, panel.x.data(), w, panel.y.data(), w, 1.0,
              eq.rhs.data() + l, eq.p);
}

}  // namespace

void reduce_plain(NormalEquations& eq, double tau) {
    const int p = eq.p;
    for (int i = 0; i < p; ++i) {
        const double d = eq.xx(i, i);
        if (!(d > tau)) {  // rejected; a NaN pivot is rejected too
            for (int s = 0; s < eq.t; ++s) eq.xy(i, s) = 0.0;
            continue;
        }
        const double q = std::sqrt(d);
        for (int j = i + 1; j < p; ++j) eq.xx(i, j) /= q;
        for (int s = 0; s < eq.t; ++s) eq.xy(i, s) /= q;
        // X'X(j,k) -= X'X(i,k) * X'X(i,j) for i < j <= k; X'Y(j,s) likewise.
        for (int k = i + 1; k < p; ++k) {
            const double rik = eq.xx(i, k);
            for (int j = i + 1; j <= k; ++j) eq.xx(j, k) -= rik * eq.xx(i, j);
        }
        for (int s = 0; s < eq.t; ++s) {
            const double ris = eq.xy(i, s);
            for (int j = i + 1; j < p; ++j) eq.xy(j, s) -= ris * eq.xx(i, j);
        }
    }
}

int reduce_rows(NormalEquations& eq, double tau, int first, Panel& panel) {
    const int p = eq.p;
    if (first < 0 || first >= p) return p;
    BlockTriangle& a = eq.a;
    const int block = a.block_of(first);
    const int f = a.first(block);
    const int w = a.columns(block);
    const int l = f + w;

    std::vector<char> accepted;
    const std::vector<double> u = factor_diagonal_block(eq, tau, f, w, accepted);

    // The block's rows right of the block, X'Y included: solve U' X = C.
    gather_panel(eq, f, w, panel);
    tk::dtrsm_upper_transposed(w, panel.columns, u.data(), w, panel.x.data(), w);
    tk::dtrsm_upper_transposed(w, eq.t, u.data(), w, panel.y.data(), w);
    clear_rejected(accepted, false, panel);
    scatter_panel(panel, f, eq);  // a rejected row keeps its updated values, unscaled
    if (l < p) {
        clear_rejected(accepted, true, panel);
        update_trailing(panel, l, eq);
    }
    return l;
}

void reduce(NormalEquations& eq, double tau) {
    Panel panel;
    for (int i = 0; i < eq.p;) i = reduce_rows(eq, tau, i, panel);
}

std::vector<char> accepted_columns(const NormalEquations& eq, double tau) {
    std::vector<char> accepted(static_cast<std::size_t>(eq.p));
    for (int i = 0; i < eq.p; ++i) accepted[static_cast<std::size_t>(i)] = is_accepted(eq, tau, i) ? 1 : 0;
    return accepted;
}

}  // namespace tarvel
