#include "common/svg.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace tk {
namespace {

void put_attribute(std::string& out, std::string_view name, std::string_view value) {
    out += ' ';
    out += name;
    out += "=\"";
    out += xml_escape(value);
    out += '"';
}

// Closes an element, with a tooltip child when there is one.
void close_element(std::string& out, std::string_view tag, std::string_view tooltip) {
    if (tooltip.empty()) {
        out += "/>\n";
        return;
    }
    out += "><title>" + xml_escape(tooltip) + "</title></";
    out += tag;
    out += ">\n";
}

const char* anchor_name(Anchor anchor) {
    switch (anchor) {
        case Anchor::middle: return "middle";
        case Anchor::end: return "end";
        default: return "start";
    }
}

std::string hex_colour(double r, double g, double b) {
    const auto channel = [](double c) { return static_cast<int>(std::lround(std::clamp(c, 0.0, 255.0))); };
    char text[8];
    std::snprintf(text, sizeof text, "#%02x%02x%02x", channel(r), channel(g), channel(b));
    return text;
}

// The length of the UTF-8 sequence that starts text[i]; 0 when it is not one.
std::size_t utf8_length(std::string_view text, std::size_t i) {
    const auto byte = [&text](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char c = byte(i);
    std::size_t n = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xe ? 3 : (c >> 3) == 0x1e ? 4 : 0;
    if (n == 0 || i + n > text.size()) return 0;
    for (std::size_t k = 1; k < n; ++k)
        if ((byte(i + k) >> 6) != 0x2) return 0;
    if (n == 2 && c < 0xc2) return 0;  // overlong
    return n;
}

}  // namespace

std::string xml_escape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const char c = text[i];
        const std::size_t n = utf8_length(text, i);
        // Bytes that are not UTF-8, and control characters, which XML refuses.
        if (n == 0 || (n == 1 && static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n')) {
            out += "\xef\xbf\xbd";
            i += n == 0 ? 1 : n;
            continue;
        }
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            case '\'': out += "&#39;"; break;
            default: out.append(text.substr(i, n));
        }
        i += n;
    }
    return out;
}

std::string svg_coordinate(double x) {
    const double rounded = std::round(x * 100.0) / 100.0;
    char text[32];
    const auto r = std::to_chars(text, text + sizeof text, rounded == 0.0 ? 0.0 : rounded);
    return std::string(text, r.ptr);
}

void svg_rect(Svg& svg, double x, double y, double w, double h, std::string_view css_class, std::string_view fill,
              std::string_view tooltip) {
    std::string& out = svg.body;
    out += "<rect";
    put_attribute(out, "x", svg_coordinate(x));
    put_attribute(out, "y", svg_coordinate(y));
    put_attribute(out, "width", svg_coordinate(std::max(w, 0.0)));
    put_attribute(out, "height", svg_coordinate(std::max(h, 0.0)));
    if (!css_class.empty()) put_attribute(out, "class", css_class);
    if (!fill.empty()) put_attribute(out, "fill", fill);
    close_element(out, "rect", tooltip);
}

void svg_line(Svg& svg, double x1, double y1, double x2, double y2, std::string_view css_class) {
    std::string& out = svg.body;
    out += "<line";
    put_attribute(out, "x1", svg_coordinate(x1));
    put_attribute(out, "y1", svg_coordinate(y1));
    put_attribute(out, "x2", svg_coordinate(x2));
    put_attribute(out, "y2", svg_coordinate(y2));
    if (!css_class.empty()) put_attribute(out, "class", css_class);
    out += "/>\n";
}

void svg_circle(Svg& svg, double cx, double cy, double r, std::string_view css_class, std::string_view fill,
                std::string_view tooltip) {
    std::string& out = svg.body;
    out += "<circle";
    put_attribute(out, "cx", svg_coordinate(cx));
    put_attribute(out, "cy", svg_coordinate(cy));
    put_attribute(out, "r", svg_coordinate(r));
    if (!css_class.empty()) put_attribute(out, "class", css_class);
    if (!fill.empty()) put_attribute(out, "fill", fill);
    close_element(out, "circle", tooltip);
}

void svg_text(Svg& svg, double x, double y, std::string_view text, Anchor anchor, std::string_view css_class,
              const SvgAttributes& attributes) {
    std::string& out = svg.body;
    out += "<text";
    put_attribute(out, "x", svg_coordinate(x));
    put_attribute(out, "y", svg_coordinate(y));
    if (anchor != Anchor::start) put_attribute(out, "text-anchor", anchor_name(anchor));
    if (!css_class.empty()) put_attribute(out, "class", css_class);
    for (const auto& [name, value] : attributes) put_attribute(out, name, value);
    out += '>';
    out += xml_escape(text);
    out += "</text>\n";
}

std::string svg_element(const Svg& svg, std::string_view label) {
    std::string out = "<svg xmlns=\"http://www.w3.org/2000/svg\"";
    put_attribute(out, "width", svg_coordinate(svg.width));
    put_attribute(out, "height", svg_coordinate(svg.height));
    put_attribute(out, "viewBox", "0 0 " + svg_coordinate(svg.width) + " " + svg_coordinate(svg.height));
    put_attribute(out, "role", "img");
    put_attribute(out, "aria-label", label);
    out += ">\n" + svg.body + "</svg>\n";
    return out;
}

double LinearScale::operator()(double value) const {
    if (hi == lo) return (from + to) / 2.0;
    return from + (value - lo) / (hi - lo) * (to - from);
}

std::vector<double> nice_ticks(double lo, double hi, int count) {
    if (!std::isfinite(lo) || !std::isfinite(hi)) return {0.0, 1.0};
    if (hi < lo) std::swap(lo, hi);
    if (hi == lo) {
        const double half = lo == 0.0 ? 1.0 : std::fabs(lo) / 2.0;
        lo -= half;
        hi += half;
    }
    const double raw = (hi - lo) / std::max(count, 1);
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    double step = 10.0 * power;
    for (double m : {1.0, 2.0, 5.0})
        if (m * power >= raw * (1.0 - 1e-9)) {
            step = m * power;
            break;
        }
    const double first = std::floor(lo / step + 1e-9);
    const double last = std::ceil(hi / step - 1e-9);
    std::vector<double> ticks;
    for (double k = first; k <= last; k += 1.0) ticks.push_back(k * step == 0.0 ? 0.0 : k * step);
    return ticks;
}

std::string tick_label(double value, double step) {
    const int decimals = step >= 1.0 ? 0 : static_cast<int>(std::ceil(-std::log10(step) - 1e-9));
    char text[48];
    std::snprintf(text, sizeof text, "%.*f", std::clamp(decimals, 0, 12), value);
    std::string label = text;
    if (label.find_first_not_of("-0.") == std::string::npos) label.assign(1, '0');  // no "-0.00"
    return label;
}

std::string diverging_colour(double r) {
    const double t = std::clamp(std::isfinite(r) ? r : 0.0, -1.0, 1.0);
    // White at 0, towards #2166ac (negative) or #b2182b (positive).
    const double a = std::fabs(t);
    if (t < 0) return hex_colour(255 + a * (0x21 - 255), 255 + a * (0x66 - 255), 255 + a * (0xac - 255));
    return hex_colour(255 + a * (0xb2 - 255), 255 + a * (0x18 - 255), 255 + a * (0x2b - 255));
}

std::string series_colour(int k) {
    static const char* const colours[] = {"#4e79a7", "#f28e2b", "#59a14f", "#b07aa1", "#edc948",
                                          "#76b7b2", "#ff9da7", "#9c755f", "#e15759", "#bab0ac"};
    const int n = static_cast<int>(std::size(colours));
    return colours[((k % n) + n) % n];
}

}  // namespace tk
