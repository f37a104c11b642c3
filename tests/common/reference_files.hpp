// The shared reference analyses (data sets with results computed by an
// independent method): in the folder that TK_REFERENCE_DIR names, or else in
// shared/reference/ beside the checkout or above it. A test that needs them
// starts with TK_REQUIRE_REFERENCE(name), which skips it, saying why, when
// they are nowhere to be found.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace tk_test {

inline std::filesystem::path reference_file(const std::string& name) {
    if (const char* given = std::getenv("TK_REFERENCE_DIR"); given && *given) {
        const std::filesystem::path candidate = std::filesystem::path(given) / name;
        return std::filesystem::exists(candidate) ? candidate : std::filesystem::path();
    }
    for (std::filesystem::path dir = TK_SOURCE_DIR; !dir.empty() && dir != dir.parent_path();
         dir = dir.parent_path()) {
        const std::filesystem::path candidate = dir / "shared" / "reference" / name;
        if (std::filesystem::exists(candidate)) return candidate;
    }
    return {};
}

inline std::string read_reference_file(const std::string& name) {
    std::ifstream in(reference_file(name), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The references' own rule: a result g matches v when |g - v| <= rtol*|v| + atol.
inline bool matches_reference(double g, double v, double rtol, double atol) {
    return std::fabs(g - v) <= rtol * std::fabs(v) + atol;
}

}  // namespace tk_test

#define TK_REQUIRE_REFERENCE(name)                                                                    \
    do {                                                                                              \
        if (tk_test::reference_file(name).empty())                                                    \
            GTEST_SKIP() << "the reference file " << (name)                                           \
                         << " is not here: set TK_REFERENCE_DIR to the folder of the reference data"; \
    } while (false)
