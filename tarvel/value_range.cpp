#include "tarvel/value_range.hpp"

#include "common/tokenizer.hpp"
#include "tarvel/driver.hpp"
#include "tarvel/export.hpp"
#include "tarvel/run_error.hpp"

#include <charconv>
#include <cmath>
#include <limits>
#include <optional>
#include <vector>

namespace tarvel {
namespace {

// One kind of matrix: its values per pair, what a value is called, and the
// file it goes to (empty: it goes nowhere in this run).
struct Matrices {
    std::vector<double> PairAnalysis::*values;
    const char* variance_name;
    const char* covariance_name;
    std::string file;
};

bool beyond_four_bytes(double x) {
    return std::isfinite(x) && std::abs(x) > static_cast<double>(std::numeric_limits<float>::max());
}

// The matrix sections of the listing, printed for two traits or more.
std::string listing_matrices(const MatrixOutputs& o, bool section) {
    return o.listing && section && o.trait_count > 1 ? "the matrices of the listing" : "";
}

const std::string export_file_text = std::string("the export file ") + export_file_name;

Matrices sums_of_squares(const std::string& file) {
    return {&PairAnalysis::ss, "sum of squares", "sum of cross products", file};
}

std::vector<Matrices> written_matrices(const MatrixOutputs& o) {
    const OutputSwitches& s = o.switches;
    const std::string host = o.listing ? "" : std::string("the results file ") + results_file_name;
    const std::string ss = s.kirv ? export_file_text : !host.empty() ? host : listing_matrices(o, s.ss);
    const std::string vc = !host.empty() ? host : listing_matrices(o, s.vc || s.cr);
    return {sums_of_squares(ss),
            {&PairAnalysis::ms, "mean square", "mean product", listing_matrices(o, s.ms)},
            {&PairAnalysis::vc, "variance component", "covariance component", vc}};
}

std::string scientific(double x) {
    char digits[32];
    return std::string(digits, std::to_chars(digits, digits + sizeof digits, x, std::chars_format::scientific, 2).ptr);
}

// "sum of squares of effect g for trait y is 1.00e+40"
std::string value_text(const Matrices& m, const PairAnalysis& pair, std::size_t source,
                       std::span<const std::string> source_names, std::span<const std::string> trait_names) {
    const auto trait = [&](int k) { return std::string(tk::significant(trait_names[static_cast<std::size_t>(k)])); };
    const bool residual = source >= source_names.size();
    const std::string where = residual ? "of the residual (Error)"
                                       : "of effect " + std::string(tk::significant(source_names[source]));
    const std::string traits = pair.s == pair.u ? "trait " + trait(pair.s) : "traits " + trait(pair.s) + " and " + trait(pair.u);
    const double x = (pair.*m.values)[source];
    return std::string(pair.s == pair.u ? m.variance_name : m.covariance_name) + " " + where + " for " + traits +
           " is " + scientific(x);
}

struct TooLarge {
    const Matrices* matrices;
    const PairAnalysis* pair;
    std::size_t source;
};

// The first value, in pair order, beyond the 4-byte range in one of the
// matrices that go to a file.
std::optional<TooLarge> first_too_large(std::span<const PairAnalysis> pairs, const std::vector<Matrices>& matrices) {
    for (const PairAnalysis& pair : pairs)
        for (const Matrices& m : matrices) {
            if (m.file.empty()) continue;
            const std::vector<double>& values = pair.*m.values;
            for (std::size_t a = 1; a < values.size(); ++a)  // the mean is not in the matrices
                if (beyond_four_bytes(values[a])) return TooLarge{&m, &pair, a};
        }
    return std::nullopt;
}

}  // namespace

void require_four_byte_matrices(std::span<const PairAnalysis> pairs, std::span<const std::string> source_names,
                                std::span<const std::string> trait_names, const MatrixOutputs& outputs) {
    const std::vector<Matrices> matrices = written_matrices(outputs);
    const std::optional<TooLarge> found = first_too_large(pairs, matrices);
    if (!found) return;
    throw RunError("Value too large! The " + value_text(*found->matrices, *found->pair, found->source, source_names,
                                                         trait_names) +
                   ", beyond the 4-byte reals (up to 3.40e+38) of " + found->matrices->file +
                   ". Rescale the trait (divide it by a power of ten) and run again.");
}

std::optional<std::string> export_value_too_large(std::span<const PairAnalysis> pairs,
                                                  std::span<const std::string> source_names,
                                                  std::span<const std::string> trait_names) {
    const std::vector<Matrices> matrices{sums_of_squares(export_file_text)};  // all the export file holds
    const std::optional<TooLarge> found = first_too_large(pairs, matrices);
    if (!found) return std::nullopt;
    return value_text(*found->matrices, *found->pair, found->source, source_names, trait_names);
}

}  // namespace tarvel
