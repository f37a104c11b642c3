#include "kirv/result_flags.hpp"

#include "common/html_report.hpp"

namespace kirv {

std::string heritability_flag(const tk::Json& results, const char* level, std::size_t trait) {
    return tk::json_string(tk::json_at(results, tk::json_path(level, "heritability", "flag", trait)));
}

std::string correlation_flag(const tk::Json& results, const char* kind, std::size_t i, std::size_t j) {
    return tk::json_string(tk::json_at(results, tk::json_path(kind, "flag", i, j)));
}

std::string flag_meaning(const std::string& flag) {
    if (flag == "bound") return "lay outside its range and was set to the nearer bound";
    if (flag == "negative_variance") return "was set to 0, for a variance it is made of was negative";
    if (flag == "vanishing_variance") return "was set to 0, for a variance it divides by is (close to) 0";
    return "is flagged '" + flag + "'";
}

}  // namespace kirv
