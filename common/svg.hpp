// A small writer of SVG pictures for the HTML reports: rectangles, lines,
// circles and texts with CSS classes, a linear scale with round tick values,
// and the colours of the plots. The picture is text meant to be placed inline
// in a page; every text and attribute value is escaped here.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tk {

// Extra attributes of an element, such as {"data-json", "/pairs/0/rows/1/component"}.
using SvgAttributes = std::vector<std::pair<std::string, std::string>>;

struct Svg {
    double width = 0.0;
    double height = 0.0;
    std::string body;  // the elements written so far
};

// &, <, >, " and ' as entities; a byte that is not UTF-8, or a control
// character, becomes U+FFFD (XML allows neither).
std::string xml_escape(std::string_view text);

// Coordinates with at most two decimals ("12.5", "-3", "0.33").
std::string svg_coordinate(double x);

// A tooltip (title) is shown by browsers when the pointer rests on the element.
void svg_rect(Svg& svg, double x, double y, double w, double h, std::string_view css_class,
              std::string_view fill = {}, std::string_view tooltip = {});
void svg_line(Svg& svg, double x1, double y1, double x2, double y2, std::string_view css_class);
void svg_circle(Svg& svg, double cx, double cy, double r, std::string_view css_class, std::string_view fill = {},
                std::string_view tooltip = {});

enum class Anchor { start, middle, end };
void svg_text(Svg& svg, double x, double y, std::string_view text, Anchor anchor = Anchor::start,
              std::string_view css_class = {}, const SvgAttributes& attributes = {});

// The picture as one <svg> element with its size, a view box and a label for
// screen readers.
std::string svg_element(const Svg& svg, std::string_view label);

// Maps values from [lo, hi] onto pixels [from, to] (to may be below from).
struct LinearScale {
    double lo = 0.0, hi = 1.0;
    double from = 0.0, to = 1.0;
    double operator()(double value) const;
};

// Round tick values (steps of 1, 2 or 5 times a power of ten) that cover
// [lo, hi] with about `count` intervals; the first tick is at or below lo and
// the last at or above hi. A range of zero width is widened around its value.
std::vector<double> nice_ticks(double lo, double hi, int count);

// A tick value with as many decimals as the step between ticks needs ("0.25", "-10").
std::string tick_label(double value, double step);

// A fill for a correlation in [-1, 1]: blue for negative, white at 0, red for positive.
std::string diverging_colour(double r);

// The k-th colour of a set of series, distinct for neighbours (repeats after 10).
std::string series_colour(int k);

}  // namespace tk
