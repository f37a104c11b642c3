// The shared reference analyses (data sets with results computed by an
// independent method), found in shared/reference/ beside the checkout or
// above it.
#pragma once

#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>

namespace tk_test {

inline std::filesystem::path reference_file(const std::string& name) {
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
