// Reading cases into the scratch file: where the data start, levels, missing
// values, skipped and unreadable cases, the status counter, the scratch
// records, and the free-form fast path against the general free-form reader.
#include <gtest/gtest.h>

#include <cstring>

#include "common/freeform.hpp"
#include "tarvel/cases.hpp"
#include "tarvel/run_error.hpp"
#include "tests/common/temp_dir.hpp"

namespace {

struct Case {
    std::vector<tarvel::Level> levels;
    std::vector<float> traits;
    bool operator==(const Case&) const = default;
};

struct Outcome {
    tarvel::CaseSummary summary;
    std::vector<Case> cases;  // the scratch file, read back
    std::string counter;      // the status counter as last painted
};

// The case layout of a test: f, t, the data format (none: free-form), the missing codes.
struct Layout {
    int f = 0, t = 0;
    std::optional<std::string> format;
    std::vector<float> missing;
};

Outcome read_cases_of(const std::string& text, const Layout& layout) {
    tarvel::CaseReading reading;
    reading.factor_count = layout.f;
    reading.trait_count = layout.t;
    reading.case_format = layout.format;
    reading.missing_codes = layout.missing;
    tk_test::TempDir dir;
    tk::TextReader data;
    data.open(dir.write("data.txt", text));
    tk::ScratchFile scratch;
    scratch.open();
    tk::Host host;
    tk::set_up_status_line(host, "");
    if (reading.missing_codes.empty()) reading.missing_codes = {1.0e30f};
    Outcome outcome;
    outcome.summary = tarvel::read_cases(data, scratch, reading, host);
    scratch.rewind();
    tarvel::ScratchRecord record = tarvel::make_scratch_record(reading.factor_count, reading.trait_count);
    while (tarvel::read_scratch_record(scratch, record)) outcome.cases.push_back({record.levels, record.traits});
    outcome.counter = host.line.substr(static_cast<std::size_t>(host.geometry.x14), 14);
    return outcome;
}

std::string error_of(const std::string& text, const Layout& reading) {
    try {
        read_cases_of(text, reading);
    } catch (const tarvel::RunError& error) {
        return error.what();
    }
    return "";
}

TEST(Cases, FreeFormCases) {
    const struct {
        const char* name;
        std::string text;
        Layout reading;
        int accepted, skipped, unreadable;
        std::vector<int> largest;
        std::vector<Case> cases;
    } table[] = {
        {"head, levels, skips",
         "MOD=A+B\n{Y}\n-3 1 2.5\n\n1 2 3.5\n2.7 1 4.5\n0.5 1 5\n5 0 6\n2 1 1e30\n3 abc 7\n2 3 8\n",
         {2, 1, {}, {}}, 3, 3, 1, {5, 3},  // "5 0 6" is skipped after A has seen level 5
         {{{1, 2}, {3.5f}}, {{2, 1}, {4.5f}}, {{2, 3}, {8.0f}}}},
        {"own missing codes, exact comparison", "1 1 -9\n1 1 -99\n1 1 -9.5\n1 1 1e30\n",
         {2, 1, {}, {-9.0f, -99.0f}}, 2, 2, 0, {1, 1}, {{{1, 1}, {-9.5f}}, {{1, 1}, {1.0e30f}}}},
        {"a missing value in any trait", "1 7 -9\n1 -9 7\n", {1, 2, {}, {-9.0f}}, 0, 2, 0, {1}, {}},
        {"a case over two lines, CR LF", "Title\r\n1 2\r\n3 4 5\r\n2 1 6 7 8 99\r\n", {2, 3, {}, {}}, 2, 0, 0, {2, 2},
         {{{1, 2}, {3, 4, 5}}, {{2, 1}, {6, 7, 8}}}},
        {"no line starts with a digit", "MOD=A\n-1 2\n.5 3\n", {1, 1, {}, {}}, 0, 0, 0, {1}, {}},
        {"the highest level", "32767.9 1\n1 2\n", {1, 1, {}, {}}, 2, 0, 0, {32767}, {{{32767}, {1}}, {{1}, {2}}}},
        {"unused factor letters are read", "3 9 1 2.5\n", {3, 1, {}, {}}, 1, 0, 0, {3, 9, 1}, {{{3, 9, 1}, {2.5f}}}},
        // Values not given (null values, a slash) are missing, never the
        // previous case's values.
        {"null values are missing", "1 2.5 3.5\n2,,4.5\n2 1*, 5.5\n3 6.5 /\n,7.5 8.5\n4, 9.5, 10.5\n",
         {1, 2, {}, {}}, 2, 4, 0, {4}, {{{1}, {2.5f, 3.5f}}, {{4}, {9.5f, 10.5f}}}},
        {"tab-indented case lines", "\t1\t2.5\n", {1, 1, {}, {}}, 1, 0, 0, {1}, {{{1}, {2.5f}}}},
    };
    for (const auto& c : table) {
        const Outcome o = read_cases_of(c.text, c.reading);
        EXPECT_EQ(o.summary.accepted, c.accepted) << c.name;
        EXPECT_EQ(o.summary.skipped, c.skipped) << c.name;
        EXPECT_EQ(o.summary.unreadable, c.unreadable) << c.name;
        EXPECT_EQ(o.summary.largest_levels, c.largest) << c.name;
        EXPECT_EQ(o.cases, c.cases) << c.name;
    }
}

TEST(Cases, FormattedCases) {
    const std::string text =
        "FMT=(2I2,F5.1)\n"
        " 1 2  3.5\n"
        " 2.7  4.5\n"   // B reads ".7": level 0, skipped
        " 3 1  xyz\n"   // unreadable
        " 3 1    7\n";  // no decimal point in F5.1: 0.7
    const Outcome o = read_cases_of(text, {2, 1, "(2F2.0,F5.1)", {}});
    EXPECT_EQ(o.summary.accepted, 2);
    EXPECT_EQ(o.summary.skipped, 1);
    EXPECT_EQ(o.summary.unreadable, 1);
    EXPECT_EQ(o.cases, (std::vector<Case>{{{1, 2}, {3.5f}}, {{3, 1}, {0.7f}}}));
    // A format that asks for more records than one line: each case on two lines.
    const Outcome two = read_cases_of("1\n 2.5\n2\n 3.5\n", {1, 1, "(F2.0/F4.1)", {}});
    EXPECT_EQ(two.cases, (std::vector<Case>{{{1}, {2.5f}}, {{2}, {3.5f}}}));
}

TEST(Cases, StatusCounterEveryHundredCases) {
    const auto cases_text = [](int n) {
        std::string text;
        for (int i = 0; i < n; ++i) text += "1 2.5\n";
        return text;
    };
    EXPECT_EQ(read_cases_of(cases_text(99), {1, 1, {}, {}}).counter, std::string(14, ' '));
    EXPECT_EQ(read_cases_of(cases_text(100), {1, 1, {}, {}}).counter, "Case:    100  ");
    EXPECT_EQ(read_cases_of(cases_text(250), {1, 1, {}, {}}).counter, "Case:    200  ");
}

TEST(Cases, FactorCodeAboveTheHighestLevel) {
    EXPECT_EQ(error_of("1 1 2\n1 32768 2\n", {2, 1, {}, {}}),
              "Factor level too large! Factor B of case 2 (line 2) has the code 32768; levels go from 1 to 32767.");
    EXPECT_EQ(error_of("1e10 0 2\n", {2, 1, {}, {}}),
              "Factor level too large! Factor A of case 1 (line 1) has the code 1e+10; levels go from 1 to 32767.");
    EXPECT_EQ(error_of("-1e10 1 2\n", {2, 1, {}, {}}), "");  // a level below 1 is skipped, not an error
}

TEST(Cases, NoAcceptedCase) {
    const auto message = [](const tarvel::CaseSummary& s) {
        try {
            tarvel::require_accepted_cases(s, "data.txt");
        } catch (const tarvel::RunError& error) {
            return std::string(error.what());
        }
        return std::string();
    };
    tarvel::CaseSummary s;
    EXPECT_EQ(message(s),
              "No case accepted! The data file 'data.txt' holds no case (no line after the head begins with a digit).");
    s.skipped = 2;
    s.unreadable = 1;
    tarvel::note_problem_case(tarvel::problem_kind(s.report, tarvel::problem_unreadable, "unreadable"), 3,
                              "the value 'x' is not a number");
    EXPECT_EQ(message(s),
              "No case accepted! The data file 'data.txt' holds 2 case(s) with a missing trait value or a level "
              "below 1 and 1 case(s) that could not be read (line 3: the value 'x' is not a number).");
    s.accepted = 1;
    EXPECT_EQ(message(s), "");
}

TEST(Cases, ScratchRecordLayout) {
    tk::ScratchFile scratch;
    ASSERT_TRUE(scratch.open());
    tarvel::ScratchRecord out = tarvel::make_scratch_record(3, 2);
    EXPECT_EQ(out.bytes.size(), 4u * 3 + 4u * 2);  // 4f + 4t bytes
    out.levels = {1, 70000, 300};
    out.traits = {-1.5f, 1.0e30f};
    tarvel::write_scratch_record(scratch, out);
    EXPECT_EQ(std::memcmp(out.bytes.data() + 4, &out.levels[1], 4), 0);  // levels first, then traits
    EXPECT_EQ(std::memcmp(out.bytes.data() + 12, &out.traits[0], 4), 0);
    scratch.rewind();
    tarvel::ScratchRecord in = tarvel::make_scratch_record(3, 2);
    ASSERT_TRUE(tarvel::read_scratch_record(scratch, in));
    EXPECT_EQ(in.levels, out.levels);
    EXPECT_EQ(in.traits, out.traits);
    EXPECT_FALSE(tarvel::read_scratch_record(scratch, in));
}

// The fast path must read exactly what the general reader reads: the same
// statuses, the same values (bit for bit) and the same next case.
}  // namespace
