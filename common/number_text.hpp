// Numbers to fixed-width text fields and back, with the system's exact rules:
// rounding is of the exact binary value, halves away from zero.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tk {

// Each render_* appends exactly w characters to out: the value right-justified,
// or w asterisks when it does not fit.
void render_integer(std::string& out, std::int64_t value, int w, int min_digits = 0);
void render_fixed(std::string& out, double value, int w, int d);        // Fw.d
void render_exponent(std::string& out, double value, int w, int d);     // Ew.d
void render_general(std::string& out, double value, int w, int d);      // Gw.d

// Digits of a > 0 rounded half away from zero to nsig significant digits:
// a ~ 0.DIGITS x 10^exponent10 with exactly nsig digits (the first non-zero).
struct Significant {
    char digits[40];
    int count = 0;
    int exponent10 = 0;
};
Significant round_significant(double a, int nsig);

// |a| rounded half away from zero to d decimals, as "123.46" ("123." when d = 0).
std::string round_fixed(double a, int d);

// A value for a message: six significant digits, without trailing zeros
// ("1.5", "-0.111111", "1e+10").
std::string message_number(double x);

// Reading a numeric field of a record (Iw or Fw.d on input): blanks (not tabs) are ignored,
// an all-blank field is zero; sign, digits, optional point, optional exponent
// (E or D and a signed integer, or a sign right after the digits). Without a
// point, d implied decimals apply (none when d = 0). Returns false on any
// other character and leaves the target unchanged.
bool parse_real_field(std::string_view field, int d, double& out);
bool parse_real_field(std::string_view field, int d, float& out);
bool parse_integer_field(std::string_view field, std::int32_t& out);

}  // namespace tk
