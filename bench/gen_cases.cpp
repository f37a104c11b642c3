// gen_cases: writes a large tarvel data file to standard output.
//   gen_cases [--cases N] [--herds H] [--sires S] [--dams D] [--seed X] [--fixed 1] [--table 1]
// --fixed 1 writes fixed columns and a "FMT" line instead of free-form cases;
// --table 1 a comma-separated table with a header.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "gen_cases.hpp"

int main(int argc, char** argv) {
    bench::GeneratorSettings settings;
    for (int i = 1; i + 1 < argc; i += 2) {
        const long value = std::strtol(argv[i + 1], nullptr, 10);
        if (std::strcmp(argv[i], "--cases") == 0) settings.cases = value;
        else if (std::strcmp(argv[i], "--herds") == 0) settings.herds = static_cast<int>(value);
        else if (std::strcmp(argv[i], "--sires") == 0) settings.sires = static_cast<int>(value);
        else if (std::strcmp(argv[i], "--dams") == 0) settings.dams_per_sire = static_cast<int>(value);
        else if (std::strcmp(argv[i], "--seed") == 0) settings.seed = static_cast<unsigned long>(value);
        else if (std::strcmp(argv[i], "--fixed") == 0) settings.fixed_columns = value != 0;
        else if (std::strcmp(argv[i], "--table") == 0) settings.table = value != 0;
        else {
            std::fprintf(stderr,
                         "usage: gen_cases [--cases N] [--herds H] [--sires S] [--dams D] [--seed X] [--fixed 1] [--table 1]\n");
            return 2;
        }
    }
    if (settings.cases < 0 || settings.herds < 1 || settings.sires < 1 || settings.dams_per_sire < 1) {
        std::fprintf(stderr, "gen_cases: counts must be positive\n");
        return 2;
    }
    static char buffer[1 << 20];
    std::setvbuf(stdout, buffer, _IOFBF, sizeof buffer);
    bench::generate_cases(stdout, settings);
    return std::fflush(stdout) == 0 ? 0 : 1;
}
