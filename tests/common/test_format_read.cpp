#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <random>

#include "common/format.hpp"
#include "common/freeform.hpp"
#include "temp_dir.hpp"

namespace {

struct InternalRealCase {
    const char* format;
    const char* field;
    bool ok;
    double value;
};

TEST(FormatRead, InternalNumericFields) {
    const InternalRealCase cases[] = {
        {"(F20.0)", "12", true, 12.0},
        {"(F20.0)", "1.5E2", true, 150.0},
        {"(F20.0)", "                    ", true, 0.0},
        {"(F20.0)", "", true, 0.0},
        {"(F20.0)", "abc", false, -1.0},
        {"(F20.0)", "--3", false, -1.0},
        {"(F20.0)", "-", false, -1.0},
        {"(F20.0)", " - 4 . 5", true, -4.5},  // blanks are ignored
        {"(F20.0)", "8\t1", false, -1.0},     // a tab is not a blank: it must not join two numbers
        {"(F20.0)", "1.5D2", true, 150.0},
        {"(F20.0)", "1.5d-1", true, 0.15},
        {"(F20.0)", "2.5+3", true, 2500.0},  // a sign right after the digits starts the exponent
        {"(F20.0)", "+.5", true, 0.5},
        {"(F20.0)", "7.", true, 7.0},
        {"(F20.0)", "1E", false, -1.0},
        {"(F20.0)", "1.2.3", false, -1.0},
        {"(F8.2)", "12345", true, 123.45},  // implied decimals without a point
        {"(F8.2)", "1.5", true, 1.5},       // an explicit point wins
        {"(F20.0)", "1e400", false, -1.0},  // overflow
        {"(I10)", "  -42", true, -42.0},
        {"(I10)", "4.2", false, -1.0},
        {"(I10)", "99999999999", false, -1.0},
    };
    for (const auto& c : cases) {
        double value = -1.0;
        const tk::ReadResult r = tk::read_internal(c.field, c.format, {value});
        EXPECT_EQ(r.ok(), c.ok) << c.format << " '" << c.field << "'";
        EXPECT_DOUBLE_EQ(value, c.value) << c.format << " '" << c.field << "'";
    }
}

TEST(FormatRead, IntoFourByteRealsRoundsOnce) {
    float value = 0;
    ASSERT_TRUE(tk::read_internal("0.1", "(F20.0)", {value}).ok());
    EXPECT_EQ(value, 0.1f);
    std::int32_t i = 0;
    ASSERT_TRUE(tk::read_internal("        42", "(I10)", {i}).ok());
    EXPECT_EQ(i, 42);
    EXPECT_FALSE(tk::read_internal("4.2", "(F20.0)", {i}).ok());  // F into an integer variable
}

TEST(FormatRead, CharacterVariables) {
    std::string v(5, '?');
    ASSERT_TRUE(tk::read_internal("ab", "(A)", {v}).ok());
    EXPECT_EQ(v, "ab   ");  // shorter record: padded
    ASSERT_TRUE(tk::read_internal("abcdefgh", "(A)", {v}).ok());
    EXPECT_EQ(v, "abcde");  // longer record: cut
    ASSERT_TRUE(tk::read_internal("abcdefgh", "(A8)", {v}).ok());
    EXPECT_EQ(v, "defgh");  // a wider field gives its rightmost characters
    ASSERT_TRUE(tk::read_internal("abcdefgh", "(A2)", {v}).ok());
    EXPECT_EQ(v, "ab   ");
}

TEST(FormatRead, RecordsFromAFile) {
    tk_test::TempDir dir;
    const std::string path = dir.write("data.txt", "A   1  2.50\r\nB   3  4.25\nlast line without end");
    tk::TextReader in;
    ASSERT_TRUE(in.open(path));
    float f1 = 0, f2 = 0, f3 = 0, f4 = 0;
    const tk::Format& fmt = tk::cached_format("(4X,F3.0,F5.2)");
    ASSERT_TRUE(tk::read_formatted(in, fmt, {{f1}, {f2}}).ok());
    EXPECT_EQ(f1, 1.0f);
    EXPECT_EQ(f2, 2.5f);
    ASSERT_TRUE(tk::read_formatted(in, fmt, {{f3}, {f4}}).ok());
    EXPECT_EQ(f3, 3.0f);
    EXPECT_EQ(f4, 4.25f);
    std::string line(10, ' ');
    ASSERT_TRUE(tk::read_formatted(in, tk::cached_format("(A)"), {{line}}).ok());
    EXPECT_EQ(line, "last line ");
    EXPECT_EQ(tk::read_formatted(in, tk::cached_format("(A)"), {{line}}).status, tk::ReadStatus::end_of_file);
    in.rewind();
    std::string record;
    ASSERT_TRUE(in.read_record(record));
    EXPECT_EQ(record, "A   1  2.50");  // the CR of a CR LF line end is not part of the record
}

// A record beyond the reader's limit is refused with its line number, also
// far into the file and when a list-directed read holds the record whole.
TEST(Files, RecordLimit) {
    const std::string lines(400000, '\n');  // moves the long record past the first buffer loads
    const struct {
        const char* name;
        std::string text;
        std::size_t limit;
        bool list;              // read list-directed, else record by record
        std::uint64_t refused;  // the line refused; 0: all read
    } cases[] = {
        {"at the limit, CR LF", "1\r\n12345678\r\n", 8, false, 0},
        {"one beyond", "1\n123456789\n", 8, false, 2},
        {"the last record without its end", "1\n2\n123456789", 8, false, 3},
        {"far into the file", lines + std::string(20, '7') + "\n", 16, false, 400001},
        {"held whole by a list read", lines + std::string(3 << 20, '7') + "\n", 2 << 20, true, 400001},
        {"a long list record within the limit", lines + std::string(3 << 20, '7') + "\n", 4 << 20, true, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        tk_test::TempDir dir;
        tk::TextReader in;
        ASSERT_TRUE(in.open(dir.write("data.txt", c.text)));
        in.limit_records(c.limit);
        std::uint64_t refused = 0;
        try {
            double x = 0;
            std::string record;
            if (c.list) tk::read_list(in, {x});
            else
                while (in.read_record(record)) {}
        } catch (const tk::RecordTooLong& error) {
            refused = error.line;
            EXPECT_EQ(error.file, dir.file("data.txt"));
        }
        EXPECT_EQ(refused, c.refused);
    }
}

TEST(FormatRead, ACaseOverSeveralRecordsAndErrors) {
    tk_test::TempDir dir;
    const std::string path = dir.write("d.txt", "1 2\n3\nxx 5\n6\n");
    tk::TextReader in;
    ASSERT_TRUE(in.open(path));
    float a = 0, b = 0, c = 0;
    ASSERT_TRUE(tk::read_formatted(in, tk::cached_format("(2F2.0,/,F1.0)"), {{a}, {b}, {c}}).ok());
    EXPECT_EQ(c, 3.0f);
    const tk::ReadResult bad = tk::read_formatted(in, tk::cached_format("(F2.0)"), {{a}});
    EXPECT_EQ(bad.status, tk::ReadStatus::error);
    EXPECT_NE(bad.message.find("'xx'"), std::string::npos);
    // the next read starts at the record after the failed one
    ASSERT_TRUE(tk::read_formatted(in, tk::cached_format("(F2.0)"), {{a}}).ok());
    EXPECT_EQ(a, 6.0f);
    // reversion reads the next record for the remaining targets
    in.rewind();
    ASSERT_TRUE(tk::read_formatted(in, tk::cached_format("(F2.0)"), {{a}, {b}}).ok());
    EXPECT_EQ(b, 3.0f);
}

TEST(FreeformRead, SeparatorsNullsRepeatsAndSlash) {
    tk_test::TempDir dir;
    const std::string path = dir.write("l.txt",
                                       "1, 2 ,3\n"
                                       "4,,6\n"
                                       "3*7.5\n"
                                       "2* 9\n"
                                       "10\t11 / 99\n"
                                       "12\n"
                                       "13 14 15 ignored\n"
                                       "'quoted, text' bare 1.5D2 +2\n");
    tk::TextReader in;
    ASSERT_TRUE(in.open(path));
    double v[3] = {0, 0, 0};
    ASSERT_TRUE(tk::read_list(in, {v[0], v[1], v[2]}).ok());
    EXPECT_EQ(v[0], 1);
    EXPECT_EQ(v[2], 3);
    v[1] = -1;
    ASSERT_TRUE(tk::read_list(in, {v[0], v[1], v[2]}).ok());
    EXPECT_EQ(v[1], -1);  // null value: unchanged
    EXPECT_EQ(v[2], 6);
    ASSERT_TRUE(tk::read_list(in, {v[0], v[1], v[2]}).ok());
    EXPECT_EQ(v[0], 7.5);
    EXPECT_EQ(v[2], 7.5);
    v[0] = v[1] = -1;
    ASSERT_TRUE(tk::read_list(in, {v[0], v[1], v[2]}).ok());
    EXPECT_EQ(v[0], -1);  // "2*" gives two null values
    EXPECT_EQ(v[2], 9);
    v[2] = -1;
    ASSERT_TRUE(tk::read_list(in, {v[0], v[1], v[2]}).ok());
    EXPECT_EQ(v[1], 11);
    EXPECT_EQ(v[2], -1);  // the slash ended the read
    std::int32_t i[4] = {0, 0, 0, 0};
    ASSERT_TRUE(tk::read_list(in, {i[0], i[1], i[2], i[3]}).ok());  // spans two records
    EXPECT_EQ(i[0], 12);
    EXPECT_EQ(i[3], 15);
    std::string text(12, ' '), word(4, ' ');
    double d = 0, e = 0;
    ASSERT_TRUE(tk::read_list(in, {text, word, d, e}).ok());  // rest of the previous record was skipped
    EXPECT_EQ(text, "quoted, text");
    EXPECT_EQ(word, "bare");
    EXPECT_EQ(d, 150.0);
    EXPECT_EQ(e, 2.0);
    EXPECT_EQ(tk::read_list(in, {d}).status, tk::ReadStatus::end_of_file);
}

TEST(FreeformRead, ErrorsSkipTheRecordAndEndOfFile) {
    tk_test::TempDir dir;
    const std::string path = dir.write("e.txt", "1 abc 3\n4 5 6\n1.5\nnan\n7\n");
    tk::TextReader in;
    ASSERT_TRUE(in.open(path));
    float a = 0, b = 0, c = 0;
    const tk::ReadResult r = tk::read_list(in, {a, b, c});
    EXPECT_EQ(r.status, tk::ReadStatus::error);
    EXPECT_NE(r.message.find("'abc'"), std::string::npos);
    ASSERT_TRUE(tk::read_list(in, {a, b, c}).ok());
    EXPECT_EQ(a, 4.0f);
    std::int32_t n = 0;
    EXPECT_EQ(tk::read_list(in, {n}).status, tk::ReadStatus::error);  // 1.5 is not an integer
    EXPECT_EQ(tk::read_list(in, {a}).status, tk::ReadStatus::error);  // nor is nan a number here
    EXPECT_EQ(tk::read_list(in, {a, b}).status, tk::ReadStatus::end_of_file);
    EXPECT_EQ(a, 7.0f);
}

TEST(FreeformWrite, ShortestDigitsThatReadBack) {
    const std::vector<tk::Item> items{5, 0.1, 0.1f, 1.0e30f, -2.5, "text"};
    EXPECT_EQ(tk::list_record(items), " 5 0.1 0.1 1e+30 -2.5 text");
    EXPECT_EQ(tk::list_record(std::vector<tk::Item>{}), " ");
    EXPECT_EQ(tk::list_record(std::vector<tk::Item>{" "}), " ");
    EXPECT_EQ(tk::list_record(std::vector<tk::Item>{"For Effect : ", "A*B                 "}), " For Effect : A*B");

    tk_test::TempDir dir;
    const double values[] = {1.0 / 3.0, 3659.8601572648125, 1e-300, -0.0, 123456789012345678.0};
    {
        tk::TextWriter out;
        ASSERT_TRUE(out.open(dir.file("w.txt")));
        tk::write_list(out, std::span<const double>(values));
        ASSERT_TRUE(out.close());
    }
    tk::TextReader in;
    ASSERT_TRUE(in.open(dir.file("w.txt")));
    double back[5];
    ASSERT_TRUE(tk::read_list(in, {back[0], back[1], back[2], back[3], back[4]}).ok());
    for (int k = 0; k < 5; ++k) EXPECT_EQ(back[k], values[k]);
    EXPECT_EQ(dir.read("w.txt").substr(dir.read("w.txt").size() - 2), "\r\n");
}

TEST(Files, AtomicWriterRenamesOnlyWhenComplete) {
    tk_test::TempDir dir;
    {
        tk::TextWriter out;
        ASSERT_TRUE(out.open(dir.file("res.txt"), true));
        out.put_record("partial");
        EXPECT_FALSE(tk::file_exists(dir.file("res.txt")));
    }  // destroyed without close: nothing under the real name
    EXPECT_FALSE(tk::file_exists(dir.file("res.txt")));
    EXPECT_TRUE(std::filesystem::is_empty(dir.path));
    tk::TextWriter out;
    ASSERT_TRUE(out.open(dir.file("res.txt"), true));
    out.put_record("complete");
    ASSERT_TRUE(out.close());
    EXPECT_EQ(dir.read("res.txt"), "complete\r\n");
}

TEST(Files, ScratchAndExistence) {
    tk::ScratchFile scratch;
    ASSERT_TRUE(scratch.open());
    const std::int16_t levels[2] = {3, 7};
    ASSERT_TRUE(scratch.write(levels, sizeof levels));
    scratch.rewind();
    std::int16_t back[2] = {0, 0};
    ASSERT_TRUE(scratch.read(back, sizeof back));
    EXPECT_EQ(back[1], 7);
    EXPECT_FALSE(scratch.read(back, sizeof back));
    tk_test::TempDir dir;
    EXPECT_FALSE(tk::file_exists(dir.file("none")));
    EXPECT_FALSE(tk::file_exists(dir.path.string()));  // a directory is not a data file
    dir.write("x", "");
    EXPECT_TRUE(tk::file_exists(dir.file("x") + "   "));  // trailing blanks are not part of the name
}

}  // namespace

namespace {

// The free-form reader converts plain decimals by a quick route; it must give
// exactly the correctly rounded value of the text, as the general conversion does.
TEST(FreeformRead, PlainDecimalsAreCorrectlyRounded) {
    std::mt19937_64 rng(11);
    std::string text;
    std::vector<std::string> words;
    for (int i = 0; i < 4000; ++i) {
        std::string w = (rng() % 4 == 0) ? "-" : "";
        const int int_digits = static_cast<int>(rng() % 12);
        const int frac_digits = static_cast<int>(rng() % 14);
        for (int d = 0; d < int_digits; ++d) w += static_cast<char>('0' + rng() % 10);
        if (frac_digits > 0 || int_digits == 0) {
            w += '.';
            for (int d = 0; d < std::max(frac_digits, 1); ++d) w += static_cast<char>('0' + rng() % 10);
        }
        words.push_back(w);
        text += w + (i % 7 == 6 ? "\n" : " ");
    }
    tk_test::TempDir dir;
    tk::TextReader in;
    ASSERT_TRUE(in.open(dir.write("n.txt", text)));
    for (const std::string& w : words) {
        float f = 0, expected_f = 0;
        std::from_chars(w.data(), w.data() + w.size(), expected_f);
        // read one value per statement from a one-value record
        tk::TextReader one;
        ASSERT_TRUE(one.open(dir.write("one.txt", w + "\n")));
        ASSERT_TRUE(tk::read_list(one, {f}).ok()) << w;
        ASSERT_EQ(f, expected_f) << w;
        double d = 0, expected_d = 0;
        std::from_chars(w.data(), w.data() + w.size(), expected_d);
        one.rewind();
        ASSERT_TRUE(tk::read_list(one, {d}).ok()) << w;
        ASSERT_EQ(d, expected_d) << w;
    }
}

}  // namespace
