// A deterministic generator of large tarvel data files: herd (A), sire (B),
// dam within sire (C|B, dams numbered within their sire) and sex (D), three
// traits, unbalanced cells and a few missing values. The model puts the dam
// effect, which holds most of the columns, last (A + B + D + C|B), as breeders
// do and as the absorbed reduction needs. The same settings always give the
// same bytes. The table form holds the same numbers, comma-separated under a
// header, with NA for a missing value (as long as the -9 of the data file).
#pragma once

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>

namespace bench {

struct GeneratorSettings {
    long cases = 1000000;
    int herds = 200;
    int sires = 500;
    int dams_per_sire = 20;
    std::uint64_t seed = 1;
    bool fixed_columns = false;  // fixed columns for the format fixed_columns_format, with its "FMT" line
    bool table = false;          // a comma-separated table with a header instead
};

inline constexpr const char* table_header = "herd,sire,dam,sex,Weight,Height,Fat\n";
inline constexpr const char* table_model = "herd + sire + sex + dam|sire";
inline constexpr const char* table_traits = "Weight,Height,Fat";

inline constexpr const char* fixed_columns_format = "(I4,I4,I3,I2,3F8.2)";

// splitmix64: the same stream on every platform.
struct Random {
    std::uint64_t state;
    std::uint64_t next() {
        std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    double uniform() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }  // [0, 1)
    int level(int count) { return 1 + static_cast<int>(uniform() * count); }
    // Skewed towards low levels, so cells are unbalanced.
    int skewed_level(int count) {
        const double u = uniform();
        return 1 + static_cast<int>(u * u * count);
    }
    double normal() { return std::sqrt(-2.0 * std::log(1.0 - uniform())) * std::cos(6.283185307179586 * uniform()); }
};

inline void append_number(std::string& line, double value, int decimals) {
    char buffer[32];
    line.append(buffer, std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals).ptr);
}

inline void append_integer(std::string& line, int value) {
    char buffer[16];
    line.append(buffer, std::to_chars(buffer, buffer + sizeof buffer, value).ptr);
}

// One case in the columns of fixed_columns_format.
using Factors = int[4];
using Traits = double[3];
using Missing = bool[3];

inline void fixed_columns_case(std::string& line, const Factors& factors, const Traits& traits,
                               const Missing& missing) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%4d%4d%3d%2d", factors[0], factors[1], factors[2], factors[3]);
    line = buffer;
    for (int i = 0; i < 3; ++i) {
        std::snprintf(buffer, sizeof buffer, "%8.2f", missing[i] ? -9.0 : traits[i]);
        line += buffer;
    }
    line += '\n';
}

inline void free_form_case(std::string& line, const Factors& factors, const Traits& traits, const Missing& missing,
                           char separator = ' ', const char* missing_text = "-9") {
    line.clear();
    for (int i = 0; i < 4; ++i) {
        if (i > 0) line += separator;
        append_integer(line, factors[i]);
    }
    for (int i = 0; i < 3; ++i) {
        line += separator;
        if (missing[i]) line += missing_text;
        else append_number(line, traits[i], 2);
    }
    line += '\n';
}

inline void generate_cases(std::FILE* out, const GeneratorSettings& settings) {
    if (settings.table)
        std::fputs(table_header, out);
    else
        std::fputs("Generated test data: herd, sire, dam within sire, sex; three traits\n"
                   "MOD = A + B + D + C|B\n"
                   "MIS = -9\n"
                   "Traits: {Weight} {Height} {Fat}\n",
                   out);
    if (settings.fixed_columns) std::fprintf(out, "FMT = %s\n", fixed_columns_format);
    Random random{settings.seed};
    std::string line;
    for (long i = 0; i < settings.cases; ++i) {
        const int herd = random.skewed_level(settings.herds);
        const int sire = random.skewed_level(settings.sires);
        const int dam = random.level(settings.dams_per_sire);
        const int sex = random.level(2);
        const double effect = 0.01 * herd + 0.002 * sire + 0.05 * dam + (sex == 1 ? 2.0 : 0.0);
        const int factors[4] = {herd, sire, dam, sex};
        const double traits[3] = {250.0 + 10.0 * effect + 20.0 * random.normal(),
                                  120.0 + 2.0 * effect + 5.0 * random.normal(),
                                  3.5 + 0.1 * effect + 0.4 * random.normal()};
        bool missing[3];
        for (bool& m : missing) m = random.uniform() < 0.01;
        if (settings.fixed_columns) fixed_columns_case(line, factors, traits, missing);
        else if (settings.table) free_form_case(line, factors, traits, missing, ',', "NA");
        else free_form_case(line, factors, traits, missing);
        std::fwrite(line.data(), 1, line.size(), out);
    }
}

}  // namespace bench
