// The pieces of the tables and reports: CSV cells that read back as written,
// round axis ticks, and texts that stay well-formed in a page.
#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <limits>

#include "common/csv_output.hpp"
#include "common/svg.hpp"

namespace {

TEST(CsvCells, ReadBackAsWritten) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const struct {
        tk::Json value;
        std::string cell;
    } cases[] = {
        {0.1, "0.1"},
        {1.0 / 3.0, "0.3333333333333333"},
        {1e30, "1e+30"},
        {-2.5e-300, "-2.5e-300"},
        {461.0, "461"},
        {35, "35"},
        {true, "TRUE"},
        {false, "FALSE"},
        {nullptr, "NA"},
        {tk::json_number(nan), "NA"},
        {"B|A", "B|A"},
        {"Fat, %", "\"Fat, %\""},
        {"say \"hi\"", "\"say \"\"hi\"\"\""},
        {" lead", "\" lead\""},
        {"two\nlines", "\"two\nlines\""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(tk::csv_cell(c.value), c.cell) << c.value.dump();
        if (!c.value.is_number_float()) continue;
        double back = 0.0;
        std::from_chars(c.cell.data(), c.cell.data() + c.cell.size(), back);
        EXPECT_EQ(back, c.value.get<double>()) << c.cell;
    }
}

TEST(SvgAxis, TicksAreRoundAndCoverTheRange) {
    const struct {
        double lo, hi;
        int count;
        std::vector<double> ticks;
    } cases[] = {
        {0, 100, 8, {0, 20, 40, 60, 80, 100}},
        {-7.3, 112.5, 8, {-20, 0, 20, 40, 60, 80, 100, 120}},
        {0, 1, 6, {0, 0.2, 0.4, 0.6, 0.8, 1.0}},
        {-1.374, 9.374, 6, {-2, 0, 2, 4, 6, 8, 10}},
        {0.3, 0.3, 4, {0.1, 0.2, 0.3, 0.4, 0.5}},  // a point is widened around itself
        {0, 0, 4, {-1, -0.5, 0, 0.5, 1}},
    };
    for (const auto& c : cases) {
        const std::vector<double> ticks = tk::nice_ticks(c.lo, c.hi, c.count);
        ASSERT_EQ(ticks.size(), c.ticks.size()) << c.lo << " " << c.hi;
        for (std::size_t i = 0; i < ticks.size(); ++i) EXPECT_NEAR(ticks[i], c.ticks[i], 1e-12) << c.lo << " " << i;
    }
    EXPECT_EQ(tk::tick_label(0.6000000000000001, 0.2), "0.6");
    EXPECT_EQ(tk::tick_label(-1e-17, 0.25), "0");
    EXPECT_EQ(tk::tick_label(120, 20), "120");
}

TEST(SvgText, EscapedAndValidUtf8) {
    const struct {
        std::string text, escaped;
    } cases[] = {
        {"B|A & <C>", "B|A &amp; &lt;C&gt;"},
        {"\"Fat\" 'x'", "&quot;Fat&quot; &#39;x&#39;"},
        {"h\xc2\xb2 \xe2\x88\x92", "h\xc2\xb2 \xe2\x88\x92"},       // UTF-8 stays
        {"Gewicht \xe4", "Gewicht \xef\xbf\xbd"},                    // Latin-1 byte
        {"a\x01" "b", "a\xef\xbf\xbd" "b"},                          // control character
        {"\xe2\x88", "\xef\xbf\xbd\xef\xbf\xbd"},                    // cut sequence
    };
    for (const auto& c : cases) EXPECT_EQ(tk::xml_escape(c.text), c.escaped) << c.text;
}

}  // namespace
