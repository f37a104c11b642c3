#include "tarvel/reduction.hpp"

#include <cblas.h>

#include <algorithm>
#include <cmath>

namespace tarvel {

void reduce_plain(NormalEquations& eq, double tau) {
    const int p = eq.p;
    const int m = p + eq.t;  // X'Y columns ride along after the X'X columns
    for (int i = 0; i < p; ++i) {
        const double d = eq.xx(i, i);
        if (!(d > tau)) {  // rejected; a NaN pivot is rejected too
            for (int s = 0; s < eq.t; ++s) eq.xy(i, s) = 0.0;
            continue;
        }
        const double q = std::sqrt(d);
        for (int j = i + 1; j < m; ++j) eq.a[eq.at(i, j)] /= q;
        // X'X(j,k) -= X'X(i,k) * X'X(i,j) for i < j <= k; X'Y(j,s) likewise.
        for (int k = i + 1; k < m; ++k) {
            const double rik = eq.a[eq.at(i, k)];
            const int last_row = std::min(k, p - 1);
            double* column_k = eq.a.data() + eq.at(0, k);
            for (int j = i + 1; j <= last_row; ++j) column_k[j] -= rik * eq.a[eq.at(i, j)];
        }
    }
}

int reduce_rows(NormalEquations& eq, double tau, int first, int count) {
    const int p = eq.p;
    const int m = p + eq.t;
    first = std::max(0, first);
    const int last = std::min(p, first + std::max(0, count));
    const int nb = last - first;
    if (nb <= 0) return std::max(first, last);

    // 1. The panel's own triangle, row by row as in the plain algorithm, in
    // a contiguous nb x nb copy; `row` holds the scaled row being applied.
    const std::size_t nbs = static_cast<std::size_t>(nb);
    std::vector<double> u(nbs * nbs, 0.0);
    auto panel_at = [&u, nbs](int r, int c) -> double& {
        return u[static_cast<std::size_t>(r) + static_cast<std::size_t>(c) * nbs];
    };
    for (int c = 0; c < nb; ++c)
        for (int r = 0; r <= c; ++r) panel_at(r, c) = eq.xx(first + r, first + c);
    std::vector<char> accepted(nbs, 0);
    std::vector<double> row(nbs);
    for (int r = 0; r < nb; ++r) {
        const double d = panel_at(r, r);
        if (!(d > tau)) continue;
        accepted[static_cast<std::size_t>(r)] = 1;
        const double q = std::sqrt(d);
        for (int c = r + 1; c < nb; ++c) row[static_cast<std::size_t>(c)] = panel_at(r, c) /= q;
        for (int c = r + 1; c < nb; ++c) {
            const double rc = row[static_cast<std::size_t>(c)];
            double* column_c = &panel_at(0, c);
            for (int j = r + 1; j <= c; ++j) column_c[j] -= rc * row[static_cast<std::size_t>(j)];
        }
    }
    for (int c = 0; c < nb; ++c)
        for (int r = 0; r <= c; ++r) eq.xx(first + r, first + c) = panel_at(r, c);

    // 2. The panel's factor U: accepted rows as reduced, with sqrt(d) on the
    // diagonal; a rejected row becomes a unit row so that it passes its
    // updated values through unscaled and reduces nothing after it.
    for (int r = 0; r < nb; ++r) {
        if (accepted[static_cast<std::size_t>(r)]) {
            panel_at(r, r) = std::sqrt(panel_at(r, r));
            continue;
        }
        panel_at(r, r) = 1.0;
        for (int c = r + 1; c < nb; ++c) panel_at(r, c) = 0.0;
    }

    // 3. The panel's rows right of the panel, X'Y included: solve U' X = C.
    const int ncols = m - last;
    double* c = eq.a.data() + eq.at(first, last);
    cblas_dtrsm(CblasColMajor, CblasLeft, CblasUpper, CblasTrans, CblasNonUnit, nb, ncols, 1.0, u.data(), nb,
                c, p);
    const bool any_rejected = std::find(accepted.begin(), accepted.end(), 0) != accepted.end();
    for (int r = 0; r < nb; ++r)
        if (!accepted[static_cast<std::size_t>(r)])
            for (int s = 0; s < eq.t; ++s) eq.xy(first + r, s) = 0.0;

    // 4. Rank-nb update of the trailing triangle and of X'Y. Rejected rows
    // take no part: when there are any, the panel rows are copied with those
    // rows set to 0.
    const int trailing = p - last;
    if (trailing == 0) return last;
    const double* w = c;
    int ldw = p;
    std::vector<double> copy;
    if (any_rejected) {
        copy.assign(nbs * static_cast<std::size_t>(ncols), 0.0);
        for (int col = 0; col < ncols; ++col) {
            const double* from = c + eq.at(0, col);
            double* to = copy.data() + static_cast<std::size_t>(col) * nbs;
            for (int r = 0; r < nb; ++r)
                if (accepted[static_cast<std::size_t>(r)]) to[r] = from[r];
        }
        w = copy.data();
        ldw = nb;
    }
    cblas_dsyrk(CblasColMajor, CblasUpper, CblasTrans, trailing, nb, -1.0, w, ldw, 1.0,
                eq.a.data() + eq.at(last, last), p);
    cblas_dgemm(CblasColMajor, CblasTrans, CblasNoTrans, trailing, eq.t, nb, -1.0, w, ldw,
                w + static_cast<std::size_t>(trailing) * static_cast<std::size_t>(ldw), ldw, 1.0,
                eq.a.data() + eq.at(last, p), p);
    return last;
}

int reduction_panel_rows(int p) { return p < 512 ? 64 : 128; }

void reduce(NormalEquations& eq, double tau) {
    const int panel = reduction_panel_rows(eq.p);
    for (int i = 0; i < eq.p;) i = reduce_rows(eq, tau, i, panel);
}

}  // namespace tarvel
