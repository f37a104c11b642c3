#include "kirv/eigen.hpp"

#include <cmath>
#include <cstddef>
#include <utility>

namespace kirv {
namespace {

std::size_t at(int k) { return static_cast<std::size_t>(k); }

// |x| when y >= 0, -|x| when y < 0 (a negative zero counts as >= 0).
double sign(double x, double y) { return y >= 0.0 ? std::fabs(x) : -std::fabs(x); }

// Spacing of doubles at 1 (2^-52), found once by halving.
double machine_epsilon() {
    static const double machep = [] {
        double eps = 1.0;
        for (;;) {
            const double sum = 1.0 + eps;
            if (!(sum > 1.0)) break;
            eps *= 0.5;
        }
        return eps + eps;
    }();
    return machep;
}

constexpr int iteration_limit = 100;

}  // namespace

double pythag(double a, double b) {
    const double x = std::fabs(a);
    const double y = std::fabs(b);
    double p = x < y ? y : x;
    double q = x < y ? x : y;
    if (q == 0.0) return p;
    for (;;) {
        const double r = (q / p) * (q / p);
        const double t = 4.0 + r;
        if (!(t > 4.0)) return p;  // t == 4 (also ends on a NaN argument)
        const double s = r / t;
        p = p + 2.0 * p * s;
        q = q * s;
    }
}

Tridiagonal tridiagonalize(tk::Matrix& a) {
    const int n = a.rows;
    Tridiagonal tri{std::vector<double>(at(n)), std::vector<double>(at(n)), std::vector<double>(at(n))};
    std::vector<double>& d = tri.d;
    std::vector<double>& e = tri.e;
    std::vector<double>& e2 = tri.e2;
    for (int i = 0; i < n; ++i) d[at(i)] = a(i, i);

    // Row i of the lower triangle, columns 0 .. l = i - 1, is annihilated by
    // one Householder reflection, from the last row up.
    for (int i = n - 1; i >= 0; --i) {
        const int l = i - 1;
        double h = 0.0;
        double scale = 0.0;
        for (int k = 0; k <= l; ++k) scale += std::fabs(a(i, k));
        if (l < 0 || scale == 0.0) {
            e[at(i)] = 0.0;
            e2[at(i)] = 0.0;
        } else {
            for (int k = 0; k <= l; ++k) {
                a(i, k) /= scale;
                h += a(i, k) * a(i, k);
            }
            e2[at(i)] = scale * scale * h;
            double f = a(i, l);
            double g = -sign(std::sqrt(h), f);
            e[at(i)] = scale * g;
            h = h - f * g;
            a(i, l) = f - g;
            if (l > 0) {
                // p = A u / h into e(0..l), and K = u'p / 2h.
                f = 0.0;
                for (int j = 0; j <= l; ++j) {
                    g = 0.0;
                    for (int k = 0; k <= j; ++k) g += a(j, k) * a(i, k);
                    for (int k = j + 1; k <= l; ++k) g += a(k, j) * a(i, k);
                    e[at(j)] = g / h;
                    f += e[at(j)] * a(i, j);
                }
                h = f / (h + h);
                // A = A - u q' - q u' with q = p - K u.
                for (int j = 0; j <= l; ++j) {
                    f = a(i, j);
                    g = e[at(j)] - h * f;
                    e[at(j)] = g;
                    for (int k = 0; k <= j; ++k) a(j, k) = a(j, k) - f * e[at(k)] - g * a(i, k);
                }
            }
            for (int k = 0; k <= l; ++k) a(i, k) = scale * a(i, k);
        }
        std::swap(d[at(i)], a(i, i));
    }
    return tri;
}

Eigenvalues tridiagonal_eigenvalues(std::vector<double> d, std::vector<double> e2) {
    const int n = static_cast<int>(d.size());
    Eigenvalues out;
    if (n <= 1) {
        out.values = std::move(d);
        return out;
    }
    const double machep = machine_epsilon();
    // e2[i] becomes the coupling of rows i and i + 1.
    for (int i = 1; i < n; ++i) e2[at(i - 1)] = e2[at(i)];
    e2[at(n - 1)] = 0.0;
    double f = 0.0;  // accumulated shift
    double b = 0.0;  // tolerance on the subdiagonal, c = b^2
    double c = 0.0;

    for (int l = 0; l < n; ++l) {
        int iterations = 0;
        double h = machep * (std::fabs(d[at(l)]) + std::sqrt(e2[at(l)]));
        if (b <= h) {
            b = h;
            c = b * b;
        }
        // Smallest m >= l with a negligible coupling (e2[n - 1] = 0 at the latest).
        int m = l;
        while (m < n - 1 && e2[at(m)] > c) ++m;

        if (m != l) {
            for (;;) {
                if (iterations == iteration_limit) {
                    out.error_index = l + 1;
                    out.values = std::move(d);
                    return out;
                }
                ++iterations;
                // Shift from the leading 2 x 2 block.
                double s = std::sqrt(e2[at(l)]);
                double g = d[at(l)];
                double p = (d[at(l + 1)] - g) / (2.0 * s);
                double r = pythag(p, 1.0);
                d[at(l)] = s / (p + sign(r, p));
                h = g - d[at(l)];
                for (int i = l + 1; i < n; ++i) d[at(i)] -= h;
                f += h;

                // Rational QL sweep from m up to l.
                g = d[at(m)];
                if (g == 0.0) g = b;
                h = g;
                s = 0.0;
                for (int i = m - 1; i >= l; --i) {
                    p = g * h;
                    r = p + e2[at(i)];
                    e2[at(i + 1)] = s * r;
                    s = e2[at(i)] / r;
                    d[at(i + 1)] = h + s * (h + d[at(i)]);
                    g = d[at(i)] - e2[at(i)] / g;
                    if (g == 0.0) g = b;
                    h = g * p / r;
                }
                e2[at(l)] = s * g;
                d[at(l)] = h;

                if (h == 0.0) break;
                if (std::fabs(e2[at(l)]) <= std::fabs(c / h)) break;
                e2[at(l)] = h * e2[at(l)];
                if (e2[at(l)] == 0.0) break;
            }
        }

        // Insert the converged eigenvalue into d[0 .. l], ascending.
        const double p = d[at(l)] + f;
        int i = l;
        for (; i > 0; --i) {
            if (p >= d[at(i - 1)]) break;
            d[at(i)] = d[at(i - 1)];
        }
        d[at(i)] = p;
    }
    out.values = std::move(d);
    return out;
}

Eigenvalues symmetric_eigenvalues(tk::Matrix a) {
    Tridiagonal tri = tridiagonalize(a);
    return tridiagonal_eigenvalues(std::move(tri.d), std::move(tri.e2));
}

}  // namespace kirv
