#include "tarvel/host_results.hpp"

#include "common/freeform.hpp"

#include <algorithm>

namespace tarvel {
namespace {

// Appends values at a running position, dropping what does not fit.
struct Appender {
    std::span<double> array;
    std::size_t next = 0;
    void put(double v) {
        if (next < array.size()) array[next] = v;
        ++next;
    }
};

// Upper-half entries (a, b), b >= a, of every source row, row after row.
void append_upper_halves(const TraitTable& table, std::span<double> host, std::span<const int> left_out) {
    Appender out{host};
    for (int k = 0; k < table.rows; ++k) {
        const bool marked = std::find(left_out.begin(), left_out.end(), k) != left_out.end();
        for (int a = 0; a < table.t; ++a)
            for (int b = a; b < table.t; ++b) out.put(marked ? host_left_out_component : table(k, a, b));
    }
}

}  // namespace

void store_host_ems(const ExpectedMeanSquares& ems, std::span<double> host_ems) {
    Appender out{host_ems};
    // Sources 1 ... n of K are the effects.
    for (int r = 1; r <= ems.n; ++r)
        for (int c = 1; c <= ems.n; ++c) out.put(ems.k(r, c));
}

void store_host_degrees_of_freedom(const PairAnalysis& pair, std::span<double> host_df) {
    Appender out{host_df};
    for (std::size_t a = 1; a < pair.df.size(); ++a) out.put(pair.df[a]);
}

void write_test_records(tk::TextWriter& tests, const PairAnalysis& pair) {
    const std::size_t residual = pair.df.size() - 1;
    for (std::size_t a = 1; a < residual; ++a) {
        const double probability = pair.has_probability(static_cast<int>(a)) ? pair.probability[a] : -1.0;
        tk::write_list(tests, {pair.f[a], pair.satterthwaite_df[a], probability});
    }
}

void store_host_matrices(const TraitTables& tables, const ExpectedMeanSquares& ems, std::span<double> host_ss,
                         std::span<double> host_vc) {
    if (tables.sums_of_squares.kept()) append_upper_halves(tables.sums_of_squares, host_ss, {});
    if (tables.variance.kept()) append_upper_halves(tables.variance, host_vc, ems.left_out_effects);
}

void write_host_results(tk::TextWriter& tests, const ExpectedMeanSquares& ems, std::span<const PairAnalysis> pairs,
                        const TraitTables& tables, std::span<double> host_df, std::span<double> host_ss,
                        std::span<double> host_ems, std::span<double> host_vc) {
    store_host_ems(ems, host_ems);
    for (const PairAnalysis& pair : pairs) {
        store_host_degrees_of_freedom(pair, host_df);
        write_test_records(tests, pair);
    }
    store_host_matrices(tables, ems, host_ss, host_vc);
}

}  // namespace tarvel
