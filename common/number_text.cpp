#include "number_text.hpp"

#include <bit>
#include <charconv>
#include <cstdio>
#include <cmath>
#include <cstring>
#include <limits>

namespace tk {
namespace {

void fill(std::string& out, int w, char c) { out.append(static_cast<std::size_t>(w > 0 ? w : 0), c); }

// a = m * 2^e with m odd (a > 0, finite).
struct Binary {
    std::uint64_t m;
    int e;
};

Binary decompose(double a) {
    const std::uint64_t bits = std::bit_cast<std::uint64_t>(a);
    const int biased = static_cast<int>((bits >> 52) & 0x7ff);
    std::uint64_t m = bits & ((std::uint64_t{1} << 52) - 1);
    int e = -1074;  // subnormal
    if (biased != 0) {
        m |= std::uint64_t{1} << 52;
        e = biased - 1075;
    }
    if (m == 0) return {0, 0};
    const int zeros = std::countr_zero(m);
    return {m >> zeros, e + zeros};
}

// True when a lies exactly halfway between two multiples of 10^q,
// that is when 2a / 10^q is an odd integer.
bool is_tie(const Binary& b, int q) {
    if (b.m == 0) return false;
    if (b.e != q - 1) return false;
    if (q <= 0) return true;
    if (q > 22) return false;  // 5^q exceeds any 53-bit odd m
    std::uint64_t five_q = 1;
    for (int i = 0; i < q; ++i) five_q *= 5;
    return b.m % five_q == 0;
}

// Adds one unit in the last digit of a decimal text of digits and at most one '.'.
void increment_decimal(std::string& s) {
    for (std::size_t i = s.size(); i-- > 0;) {
        if (s[i] == '.') continue;
        if (s[i] != '9') {
            ++s[i];
            return;
        }
        s[i] = '0';
    }
    s.insert(s.begin(), '1');
}

// Splits a scientific text "d.ddde+XX" (or "de+XX") into its digits and
// decimal exponent; returns the number of digits.
int split_scientific(const char* first, const char* last, char* digits, int& exponent) {
    const char* e = first;
    while (e != last && *e != 'e') ++e;
    int count = 1;
    digits[0] = first[0];
    if (e - first > 2) {
        count += static_cast<int>(e - first - 2);
        std::memcpy(digits + 1, first + 2, static_cast<std::size_t>(count - 1));
    }
    exponent = 0;
    const char* p = e + 1;
    const bool negative = p < last && *p == '-';
    for (++p; p < last; ++p) exponent = exponent * 10 + (*p - '0');
    if (negative) exponent = -exponent;
    return count;
}

bool all_zero_digits(std::string_view s) {
    for (char c : s)
        if (c >= '1' && c <= '9') return false;
    return true;
}

// Writes the text right-justified with an optional sign, dropping a leading
// "0" before the point when only that keeps it inside the field.
void place(std::string& out, bool negative, std::string_view text, int w) {
    int length = static_cast<int>(text.size()) + (negative ? 1 : 0);
    if (length > w && text.size() > 1 && text[0] == '0' && text[1] == '.') {
        text.remove_prefix(1);
        --length;
    }
    if (length > w) {
        fill(out, w, '*');
        return;
    }
    fill(out, w - length, ' ');
    if (negative) out.push_back('-');
    out.append(text);
}

bool render_special(std::string& out, double value, int w) {
    if (std::isnan(value)) {
        place(out, false, "NaN", w);
        return true;
    }
    if (std::isinf(value)) {
        const bool negative = value < 0;
        const int room = w - (negative ? 1 : 0);
        place(out, negative, room >= 8 ? "Infinity" : "Inf", w);
        return true;
    }
    return false;
}

void append_exponent_field(std::string& out, bool negative, const char* digits, int nsig, int exponent10,
                           int w) {
    char exponent_text[8];
    const int magnitude = exponent10 < 0 ? -exponent10 : exponent10;
    const char sign = exponent10 < 0 ? '-' : '+';
    if (magnitude <= 99) {
        std::snprintf(exponent_text, sizeof exponent_text, "E%c%02d", sign, magnitude);
    } else if (magnitude <= 999) {
        std::snprintf(exponent_text, sizeof exponent_text, "%c%03d", sign, magnitude);  // letter dropped
    } else {
        fill(out, w, '*');
        return;
    }
    std::string text = "0.";
    text.append(digits, static_cast<std::size_t>(nsig));
    text.append(exponent_text);
    place(out, negative, text, w);
}

template <typename Real>
bool parse_real_field_as(std::string_view field, int d, Real& out) {
    // Collect the significant characters; blanks (and tabs) are ignored.
    char buffer[128];
    std::size_t n = 0;
    for (char c : field) {
        if (c == ' ') continue;
        if (n + 1 >= sizeof buffer) return false;
        buffer[n++] = c;
    }
    if (n == 0) {
        out = 0;
        return true;
    }
    std::size_t i = 0;
    bool negative = false;
    if (buffer[i] == '+' || buffer[i] == '-') negative = buffer[i++] == '-';
    std::string mantissa;
    bool point = false;
    int digit_count = 0;
    for (; i < n; ++i) {
        const char c = buffer[i];
        if (c >= '0' && c <= '9') {
            mantissa.push_back(c);
            ++digit_count;
        } else if (c == '.' && !point) {
            mantissa.push_back('.');
            point = true;
        } else {
            break;
        }
    }
    if (digit_count == 0) return false;
    long long exponent = 0;
    if (i < n) {
        const char c = buffer[i];
        if (c == 'E' || c == 'e' || c == 'D' || c == 'd') ++i;
        else if (c != '+' && c != '-') return false;
        bool exponent_negative = false;
        if (i < n && (buffer[i] == '+' || buffer[i] == '-')) exponent_negative = buffer[i++] == '-';
        if (i >= n) return false;
        for (; i < n; ++i) {
            if (buffer[i] < '0' || buffer[i] > '9') return false;
            if (exponent < 100000) exponent = exponent * 10 + (buffer[i] - '0');
        }
        if (exponent_negative) exponent = -exponent;
    }
    if (!point) exponent -= d;  // implied decimals
    std::string text = negative ? "-" : "";
    text += mantissa;
    text += 'e';
    text += std::to_string(exponent);
    Real value{};
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (result.ec == std::errc::result_out_of_range) {
        // Underflow reads as zero; overflow is an error.
        if (exponent < 0) {
            out = negative ? -Real(0) : Real(0);
            return true;
        }
        return false;
    }
    if (result.ec != std::errc() || result.ptr != text.data() + text.size()) return false;
    out = value;
    return true;
}

}  // namespace

std::string round_fixed(double a, int d) {
    std::string s(static_cast<std::size_t>(330 + d + 2), '\0');
    const bool tie = is_tie(decompose(a), -d);
    auto r = std::to_chars(s.data(), s.data() + s.size(), a, std::chars_format::fixed, tie ? d + 1 : d);
    s.resize(static_cast<std::size_t>(r.ptr - s.data()));
    if (tie) {
        // The text holds the exact value, ending in the halfway digit 5.
        s.pop_back();
        if (d == 0) s.pop_back();  // "2.5" -> "2"
        increment_decimal(s);
    }
    if (d == 0) s.push_back('.');
    return s;
}

namespace {

// Rounds a digit text of count digits up by one unit in its last place;
// true when the carry ran out of the first digit ("999" -> "000").
bool round_up(char* digits, int count) {
    for (int i = count - 1; i >= 0; --i) {
        if (digits[i] != '9') {
            ++digits[i];
            return false;
        }
        digits[i] = '0';
    }
    return true;
}

}  // namespace

Significant round_significant(double a, int nsig) {
    Significant result;
    if (nsig > 36) nsig = 36;
    if (nsig < 1) nsig = 1;
    char text[64];
    auto r = std::to_chars(text, text + sizeof text, a, std::chars_format::scientific, nsig - 1);
    int exponent = 0;
    split_scientific(text, r.ptr, result.digits, exponent);
    result.exponent10 = exponent + 1;  // a ~ 0.DIGITS x 10^exponent10
    result.count = nsig;
    const Binary b = decompose(a);
    const int q = result.exponent10 - nsig;
    if (is_tie(b, q) || is_tie(b, q - 1)) {
        // Exact digits (the value terminates within them), then round half up.
        r = std::to_chars(text, text + sizeof text, a, std::chars_format::scientific, nsig + 1);
        char exact[40];
        split_scientific(text, r.ptr, exact, exponent);
        result.exponent10 = exponent + 1;
        std::memcpy(result.digits, exact, static_cast<std::size_t>(nsig));
        if (exact[nsig] >= '5' && round_up(result.digits, nsig)) {
            result.digits[0] = '1';
            ++result.exponent10;
        }
    }
    return result;
}

void render_integer(std::string& out, std::int64_t value, int w, int min_digits) {
    char digits[32];
    const std::uint64_t magnitude =
        value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
    auto r = std::to_chars(digits, digits + sizeof digits, magnitude);
    std::string text(digits, r.ptr);
    if (min_digits > 0 && static_cast<int>(text.size()) < min_digits)
        text.insert(0, static_cast<std::size_t>(min_digits) - text.size(), '0');
    const bool negative = value < 0;
    const int length = static_cast<int>(text.size()) + (negative ? 1 : 0);
    if (length > w) {
        fill(out, w, '*');
        return;
    }
    fill(out, w - length, ' ');
    if (negative) out.push_back('-');
    out += text;
}

void render_fixed(std::string& out, double value, int w, int d) {
    if (render_special(out, value, w)) return;
    const std::string text = round_fixed(std::fabs(value), d);
    // A negative value that rounds to zero is shown without its minus sign.
    const bool negative = value < 0 && !all_zero_digits(text);
    place(out, negative, text, w);
}

void render_exponent(std::string& out, double value, int w, int d) {
    if (render_special(out, value, w)) return;
    if (d <= 0 || d > 36) {
        fill(out, w, '*');
        return;
    }
    if (value == 0) {
        const std::string zeros(static_cast<std::size_t>(d), '0');
        append_exponent_field(out, false, zeros.data(), d, 0, w);
        return;
    }
    const Significant s = round_significant(std::fabs(value), d);
    append_exponent_field(out, value < 0, s.digits, d, s.exponent10, w);
}

void render_general(std::string& out, double value, int w, int d) {
    if (render_special(out, value, w)) return;
    if (d <= 0 || d > 36 || w < 5) {
        fill(out, w, '*');
        return;
    }
    if (value == 0) {  // written as if it had one digit before the point
        std::string text = "0.";
        text.append(static_cast<std::size_t>(d - 1), '0');
        place(out, false, text, w - 4);
        fill(out, 4, ' ');
        return;
    }
    const Significant s = round_significant(std::fabs(value), d);
    const int k = s.exponent10;  // digits before the point of the rounded value
    if (k < 0 || k > d) {
        append_exponent_field(out, value < 0, s.digits, d, s.exponent10, w);
        return;
    }
    std::string text;
    if (k == 0) text = "0.";
    text.append(s.digits, static_cast<std::size_t>(k));
    if (k > 0) text.push_back('.');
    text.append(s.digits + k, static_cast<std::size_t>(d - k));
    const std::size_t before = out.size();
    place(out, value < 0, text, w - 4);
    if (out[before] == '*') {
        out.resize(before);
        fill(out, w, '*');
        return;
    }
    fill(out, 4, ' ');
}

bool parse_real_field(std::string_view field, int d, double& out) { return parse_real_field_as(field, d, out); }
bool parse_real_field(std::string_view field, int d, float& out) { return parse_real_field_as(field, d, out); }

bool parse_integer_field(std::string_view field, std::int32_t& out) {
    bool negative = false, sign_seen = false, digit_seen = false;
    std::int64_t value = 0;
    for (char c : field) {
        if (c == ' ') continue;
        if ((c == '+' || c == '-') && !sign_seen && !digit_seen) {
            negative = c == '-';
            sign_seen = true;
        } else if (c >= '0' && c <= '9') {
            digit_seen = true;
            value = value * 10 + (c - '0');
            if (value > 2147483648LL) return false;
        } else {
            return false;
        }
    }
    if (sign_seen && !digit_seen) return false;
    if (negative) value = -value;
    if (value > std::numeric_limits<std::int32_t>::max() || value < std::numeric_limits<std::int32_t>::min())
        return false;
    out = static_cast<std::int32_t>(value);
    return true;
}

std::string message_number(double x) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", x);
    return text;
}

}  // namespace tk
