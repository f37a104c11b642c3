// The ways of computing, end to end: the dense and the absorbed reduction,
// one thread or several, each kernel family of the dense routines the
// machine can run and the built-in routines give the same listing, JSON
// results and export file.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <charconv>
#include <cmath>
#include <map>
#include <random>
#include <sstream>

#include "common/blas.hpp"
#include "tests/tarvel/tarvel_run_support.hpp"

namespace {

using nlohmann::json;
using tarvel_test::TarvelRun;

// Herd, sire, dam within sire (up to 6 per sire), sex; two traits; p = 213.
std::string generated_data() {
    std::mt19937 rng(17);
    std::normal_distribution<double> noise(0.0, 1.0);
    std::ostringstream out;
    out << "Herds, sires, dams within sires, sex\nMOD = A + B + D + C|B\nPRI = KIRV\n{Weight} {Fat}\n";
    for (int k = 0; k < 4000; ++k) {
        const int herd = 1 + static_cast<int>(rng() % 30), sire = 1 + static_cast<int>(rng() % 40);
        const int dam = 1 + static_cast<int>(rng() % (1 + sire % 6)), sex = 1 + static_cast<int>(rng() % 2);
        out << herd << ' ' << sire << ' ' << dam << ' ' << sex << ' ' << 200.0 + herd + 0.5 * sire + dam + 10 * noise(rng)
            << ' ' << 3.0 + 0.01 * dam + 0.3 * noise(rng) << '\n';
    }
    return out.str();
}

struct Results {
    std::vector<std::string> listing;  // without the time note
    json document;
    std::vector<std::string> export_file;
};

// Tokens of a record: numbers are compared within `relative` of the larger,
// or of the record's largest number for numbers near 0; other tokens exactly.
void expect_same_records(const std::vector<std::string>& got, const std::vector<std::string>& expected,
                         double relative, const char* what) {
    ASSERT_EQ(got.size(), expected.size()) << what;
    for (std::size_t r = 0; r < expected.size(); ++r) {
        if (got[r] == expected[r]) continue;
        std::istringstream a(got[r]), b(expected[r]);
        std::vector<std::string> x{std::istream_iterator<std::string>(a), {}};
        std::vector<std::string> y{std::istream_iterator<std::string>(b), {}};
        ASSERT_EQ(x.size(), y.size()) << what << " record " << r << ":\n" << got[r] << "\n" << expected[r];
        double largest = 0.0;
        std::vector<std::optional<double>> values;
        for (const std::string& token : y) {
            double v = 0.0;
            const auto parsed = std::from_chars(token.data(), token.data() + token.size(), v);
            values.push_back(parsed.ec == std::errc() && parsed.ptr == token.data() + token.size()
                                 ? std::optional<double>(v)
                                 : std::nullopt);
            if (values.back()) largest = std::max(largest, std::fabs(v));
        }
        for (std::size_t k = 0; k < y.size(); ++k) {
            double v = 0.0;
            const auto parsed = std::from_chars(x[k].data(), x[k].data() + x[k].size(), v);
            if (!values[k] || parsed.ec != std::errc()) {
                EXPECT_EQ(x[k], y[k]) << what << " record " << r;
                continue;
            }
            EXPECT_LE(std::fabs(v - *values[k]), relative * std::max(std::fabs(*values[k]), largest))
                << what << " record " << r << ": " << x[k] << " against " << y[k];
        }
    }
}

// Numbers of the documents by place, each kind (key) within a pair compared
// to 1e-9 of the larger of it and the largest of its kind.
void collect(const json& value, const std::string& kind, std::map<std::string, double>& largest,
             std::vector<std::pair<std::string, double>>& numbers) {
    if (value.is_object()) {
        for (const auto& [key, item] : value.items())
            if (key != "computation" && key != "settings") collect(item, kind + "/" + key, largest, numbers);
    } else if (value.is_array()) {
        for (const json& item : value) collect(item, kind.find("/rows") != std::string::npos ? kind : kind + "#", largest, numbers);
    } else if (value.is_number()) {
        numbers.emplace_back(kind, value.get<double>());
        largest[kind] = std::max(largest[kind], std::fabs(value.get<double>()));
    }
}

void expect_same_document(const json& got, const json& expected) {
    std::map<std::string, double> largest, unused;
    std::vector<std::pair<std::string, double>> x, y;
    collect(expected, "", largest, y);
    collect(got, "", unused, x);
    ASSERT_EQ(x.size(), y.size());
    for (std::size_t k = 0; k < y.size(); ++k)
        EXPECT_LE(std::fabs(x[k].second - y[k].second), 1e-9 * std::max(std::fabs(y[k].second), largest[y[k].first]))
            << y[k].first << ": " << x[k].second << " against " << y[k].second;
}

TEST(ComputingPaths, GiveTheSameResults) {
    struct Way {
        const char* name;
        std::vector<std::string> options;
        const char* kernel;  // OPENBLAS_CORETYPE, "" for the program's choice
        bool built_in;       // under an address-space limit that leaves no room for OpenBLAS
        const char* reduction;
    };
    const Way ways[] = {
        {"dense", {"--reduction", "dense"}, "", false, "dense"},
        {"absorbed", {"--reduction", "absorbed"}, "", false, "absorbed"},
        {"absorbed, one thread", {"--reduction", "absorbed", "--threads", "1"}, "", false, "absorbed"},
        {"dense, three threads", {"--reduction", "dense", "--threads", "3"}, "", false, "dense"},
        {"dense, Haswell kernels", {"--reduction", "dense"}, "Haswell", false, "dense"},
        {"dense, SkylakeX kernels", {"--reduction", "dense"}, "SkylakeX", false, "dense"},
        {"dense, built-in routines", {"--reduction", "dense"}, "", true, "dense"},
        {"absorbed, built-in routines", {"--reduction", "absorbed"}, "", true, "absorbed"},
    };
    const std::string data = generated_data();
    std::optional<Results> first;
    for (const Way& way : ways) {
        SCOPED_TRACE(way.name);
        const tk::ProcessorFeatures features = tk::processor_features();
        if (std::string(way.kernel) == "SkylakeX" && !features.avx512) continue;
        if (std::string(way.kernel) == "Haswell" && !(features.avx2 && features.fma)) continue;
#ifdef __SANITIZE_ADDRESS__
        if (way.built_in) continue;  // the sanitizer cannot run under an address-space limit
#endif
        TarvelRun run;
        run.write("data.txt", data);
        std::string command = way.built_in ? "ulimit -v 250000; exec " : "exec ";
        command += tk_test::shell_quoted(tarvel_test::tarvel_executable()) + " data.txt --json r.json";
        for (const std::string& option : way.options) command += " " + option;
        std::map<std::string, std::string> environment;
        if (*way.kernel) environment["OPENBLAS_CORETYPE"] = way.kernel;
        const tk_test::ProgramRun r = tk_test::run_program("/bin/sh", run.dir.path, {"-c", command}, environment);
        ASSERT_EQ(r.exit_status, 0) << r.standard_error;
        Results results{run.records("tarvel.lst"), json::parse(run.read("r.json")), run.records("KIRV.IN_")};
        results.listing.pop_back();  // the time note
        const json& computation = results.document["computation"];
        EXPECT_EQ(computation["reduction"], way.reduction);
        if (way.built_in) {
            EXPECT_EQ(computation["blas_kernel"], "built-in");
        }
        if (*way.kernel) {
            EXPECT_EQ(computation["blas_kernel"], way.kernel);
        }
        if (!first) {
            EXPECT_EQ(results.document["design_columns"], 213);  // four blocks of the dense routines
            first = std::move(results);
            continue;
        }
        expect_same_records(results.listing, first->listing, 1e-7, "listing");
        expect_same_records(results.export_file, first->export_file, 1e-6, "KIRV.IN_");
        expect_same_document(results.document, first->document);
    }
}

}  // namespace
