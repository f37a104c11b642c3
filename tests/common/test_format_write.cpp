#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>

#include "common/format.hpp"
#include "format_test_support.hpp"

using tk_test::one_record;
using tk_test::records;

namespace {

struct RealCase {
    const char* format;
    double value;
    const char* expected;
};

TEST(FormatWrite, RealDescriptors) {
    const RealCase cases[] = {
        // F: rounding of the exact binary value, halves away from zero
        {"(F10.2)", 3.14159, "      3.14"},
        {"(F10.2)", 1234567.891, "1234567.89"},
        {"(F10.2)", 12345678.9, "**********"},
        {"(F4.2)", 0.125, "0.13"},     // exact in binary: a true half
        {"(F4.2)", 2.675, "2.67"},     // just below 2.675 in binary
        {"(F5.2)", -0.125, "-0.13"},
        {"(F4.2)", -0.125, "-.13"},    // the zero goes when only that makes it fit
        {"(F3.2)", 0.5, ".50"},
        {"(F5.1)", 0.25, "  0.3"},
        {"(F5.1)", 0.35, "  0.3"},     // 0.35 is just below in binary
        {"(F5.0)", 2.5, "   3."},
        {"(F5.0)", -2.5, "  -3."},
        {"(F5.0)", 0.5, "   1."},
        {"(F6.2)", -0.001, "  0.00"},  // a negative value rounding to zero shows no sign
        {"(F10.3)", 42.0, "    42.000"},
        {"(F7.3)", 0.0, "  0.000"},
        {"(F4.1)", 100.0, "****"},     // 100.0 does not fit F4.1
        {"(F4.1)", 99.96, "****"},     // rounds up to 100.0
        {"(F4.1)", 50.0, "50.0"},
        {"(F10.2)", (double)42.5f, "     42.50"},
        {"(F6.3)", 1.0005, " 1.000"},  // binary value just below the half
        {"(F6.3)", 1.0625, " 1.063"},  // exact half, away from zero
        {"(F20.2)", 1125899906842623.875, " 1125899906842623.88"},  // half with a full 53-bit mantissa
        // E: 0.ddd with two- or three-digit exponents
        {"(E15.8)", 0.0123, " 0.12300000E-01"},
        {"(E14.8)", 0.0123, "0.12300000E-01"},
        {"(E13.8)", 0.0123, ".12300000E-01"},
        {"(E12.8)", 0.0123, "************"},
        {"(E15.8)", -0.0123, "-0.12300000E-01"},
        {"(E15.8)", 1.0e100, " 0.10000000+101"},
        {"(E15.8)", -2.5e-120, "-0.25000000-119"},
        {"(E10.3)", 0.0, " 0.000E+00"},
        {"(E10.3)", 0.99995, " 0.100E+01"},
        {"(E10.2)", 125.0, "  0.13E+03"},   // exact half rounds away from zero
        {"(E10.2)", 135.0, "  0.14E+03"},
        {"(E10.1)", 1.5e20, "   0.2E+21"},  // a half on a large integer
        // G: F or E chosen from the value rounded to d significant digits
        {"(G15.8)", 123.456, "  123.45600    "},
        {"(G15.8)", 0.0123, " 0.12300000E-01"},
        {"(G15.8)", 0.0, "  0.0000000    "},
        {"(G15.8)", 1.0, "  1.0000000    "},
        {"(G15.8)", 0.1, " 0.10000000    "},
        {"(G15.8)", 0.0999999999, " 0.10000000    "},  // rounds up into the F range
        {"(G15.8)", 0.099999999, " 0.99999999E-01"},
        {"(G15.8)", 12345678.0, "  12345678.    "},
        {"(G15.8)", 99999999.6, " 0.10000000E+09"},  // rounds up to 10**8: E form
        {"(G15.8)", 9.99999996, "  10.000000    "},
        {"(G15.8)", -5.0, " -5.0000000    "},
        {"(G15.8)", 1.0e30, " 0.10000000E+31"},
        {"(G15.8)", -1.0e-300, "-0.10000000-299"},
        {"(G17.9)", 4848081.82, "   4848081.82    "},
        {"(G13.6)", 3659.86015726, "  3659.86    "},
        {"(G13.6)", -21.1643711, " -21.1644    "},
        {"(G13.6)", -9.0e30f, "-0.900000E+31"},
        {"(G20.12)", 231129.162102921, "   231129.162103    "},
        {"(F7.4)", -9.0e30f, "*******"},
        // special values never take the field apart
        {"(F8.2)", NAN, "     NaN"},
        {"(G15.8)", INFINITY, "       Infinity"},
        {"(F4.1)", -INFINITY, "-Inf"},
    };
    for (const auto& c : cases) EXPECT_EQ(one_record(c.format, {c.value}), c.expected) << c.format << " " << c.value;
}

TEST(FormatWrite, IntegersAndCharacters) {
    EXPECT_EQ(one_record("(I4)", {12345}), "****");
    EXPECT_EQ(one_record("(I4)", {-5}), "  -5");
    EXPECT_EQ(one_record("(I6)", {0}), "     0");
    EXPECT_EQ(one_record("(I3)", {-99}), "-99");
    EXPECT_EQ(one_record("(I2)", {-10}), "**");
    EXPECT_EQ(one_record("(a,i6)", {"Case: ", 250}), "Case:    250");
    // A5 of a 20-character value: its leftmost five characters
    EXPECT_EQ(one_record("(A5)", {std::string("A") + std::string(19, ' ')}), "A    ");
    // A20 of a 16-character value: four blanks, then the value
    EXPECT_EQ(one_record("(A20)", {std::string("WEIGHT          ")}), "    WEIGHT          ");
    EXPECT_EQ(one_record("(A)", {"as it is  "}), "as it is  ");
    EXPECT_EQ(one_record("(A8,2X,3G15.8)", {"LONG_TRAIT_NAME", 1.0, 2.0, 3.0}),
              "LONG_TRA    1.0000000      2.0000000      3.0000000    ");
}

TEST(FormatWrite, PositioningAndLiterals) {
    EXPECT_EQ(one_record("(1X,T62,A20)", {std::string(20, 'x')}), std::string(61, ' ') + std::string(20, 'x'));
    EXPECT_EQ(one_record("(A,10X)", {"ab"}), "ab");           // X adds no trailing blanks
    EXPECT_EQ(one_record("(A,T20)", {"ab"}), "ab");           // nor does T
    EXPECT_EQ(one_record("(T5,A,T1,A)", {"xyz", "ab"}), "ab  xyz");  // later output overwrites
    EXPECT_EQ(one_record("('Satterthwaite''s')", {}), "Satterthwaite's");
    EXPECT_EQ(one_record("(1X,'....|..',3(1H.))", {}), " ....|.....");
    EXPECT_EQ(one_record("(\"say \"\"hi\"\"\")", {}), "say \"hi\"");
    EXPECT_EQ(one_record("( 2 x , a )", {"b"}), "  b");  // blanks in the format are ignored
    EXPECT_EQ(one_record("(i  3         )", {7}), "  7");
    EXPECT_EQ(one_record("(  3         (g15.8,1x))", {1.0, 2.0, 3.0}),
              "  1.0000000       2.0000000       3.0000000    ");
    EXPECT_EQ(one_record("(TR3,A,TL2,A)", {"abc", "Z"}), "   aZc");
}

TEST(FormatWrite, RecordsAndControl) {
    // "(/,64(' *'))": an empty record, then 64 pairs of a blank and an asterisk
    auto r = records("(/,64(' *'))", {});
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(r[0], "");
    std::string stars;
    for (int i = 0; i < 64; ++i) stars += " *";
    EXPECT_EQ(r[1], stars);

    // "//" gives one empty record between; "(A//)" leaves two empty records after
    EXPECT_EQ(records("(A,//,A)", {"x", "y"}), (std::vector<std::string>{"x", "", "y"}));
    EXPECT_EQ(records("(A//)", {"note"}), (std::vector<std::string>{"note", "", ""}));

    // A heading with no data descriptors writes all its records
    EXPECT_EQ(records("(/,/,1X,'Head',/,1X,'====',/)", {}),
              (std::vector<std::string>{"", "", " Head", " ====", ""}));
}

TEST(FormatWrite, ColonStopsAndDataDescriptorsEndTheStatement) {
    const char* row = "(2X,A20,I7,2X,4G17.9,F10.3,F10.2,:,F7.3)";
    const std::string name = "A                   ";
    const std::string with = one_record(row, {name, 5, 1.0, 2.0, 3.0, 4.0, 15.365, 65.0, 0.00001});
    const std::string without = one_record(row, {name, 5, 1.0, 2.0, 3.0, 4.0, 15.365, 65.0});
    EXPECT_EQ(with.size(), without.size() + 7);
    EXPECT_EQ(without.substr(without.size() - 20), "    15.365     65.00");
    EXPECT_EQ(with.substr(with.size() - 7), "  0.000");
    // A repeat count is an upper bound, and the 7X after the last item adds nothing
    EXPECT_EQ(one_record("(13X,1000(A8,7X))", {"WWT     ", "HEIGHT  "}),
              std::string(13, ' ') + "WWT     " + std::string(7, ' ') + "HEIGHT  ");
    // Literals before the first data descriptor are written even without items
    EXPECT_EQ(one_record("('DF = ',100(I9))", {}), "DF = ");
    // ... and after the last item up to the next data descriptor
    EXPECT_EQ(one_record("(I2,' end',I2)", {1}), " 1 end");
}

TEST(FormatWrite, Reversion) {
    // Rows of more than six values continue six to a record, starting in column 34
    auto r = records("(2X,A20,I7,4X,6G16.8,/,(33X,6G16.8))",
                     {std::string(20, 'E'), 3, 1.0, 2.0, 3.0, 4.0, 5.0, 6.0, 7.0, 8.0});
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(r[1].substr(0, 33), std::string(33, ' '));
    EXPECT_EQ(r[1].substr(33, 16), "   7.0000000    ");
    // Each further trait name on its own record at column 62
    r = records("(/,21X,' Traits Analyzed Are :     ',(T62,A16))",
                {std::string(16, 'a'), std::string(16, 'b'), std::string(16, 'c')});
    ASSERT_EQ(r.size(), 4u);
    EXPECT_EQ(r[0], "");
    EXPECT_EQ(r[1], std::string(21, ' ') + " Traits Analyzed Are :     " + std::string(13, ' ') + std::string(16, 'a'));
    EXPECT_EQ(r[2], std::string(61, ' ') + std::string(16, 'b'));
    EXPECT_EQ(r[3], std::string(61, ' ') + std::string(16, 'c'));
    // Without an inner group control reverts to the start: 100 values per DF record
    std::vector<tk::Item> items{"DF = "};
    for (int i = 0; i < 150; ++i) items.emplace_back(i);
    std::string text;
    tk::format_records(text, tk::cached_format("(A,100(I9))"), items);
    // The reverted group is 100(I9): the second record holds the remaining 50 values
    const auto second = text.substr(text.find("\r\n") + 2);
    EXPECT_EQ(second.size(), 50u * 9 + 2);
    // "9(F7.4,2X)" inside a format: nine values per record, the tenth on a new one
    std::vector<tk::Item> ten(10, tk::Item(0.5));
    text.clear();
    tk::format_records(text, tk::cached_format("(9(F7.4,2X))"), ten);
    EXPECT_EQ(text, std::string("") + " 0.5000   0.5000   0.5000   0.5000   0.5000   0.5000   0.5000   0.5000   0.5000\r\n" +
                        " 0.5000\r\n");
    // The group of the last top-level closing parenthesis comes back with its repeat count
    EXPECT_EQ(records("(I1,2(I2,I3))", {1, 2, 3, 4, 5, 6, 7, 8, 9}),
              (std::vector<std::string>{"1 2  3 4  5", " 6  7 8  9"}));
}

TEST(FormatWrite, LongRecordsGrowWithoutLimit) {
    std::vector<tk::Item> values(3000, tk::Item(1.5));
    std::string text;
    tk::format_records(text, tk::cached_format("(5000(G15.8, 1X))"), values);
    EXPECT_EQ(text.size(), 3000u * 16 - 1 + 2);  // the last 1X adds nothing
}

TEST(FormatWrite, InternalRecordsAreBlankFilled) {
    EXPECT_EQ(tk::write_internal("(I10)", {3}, 12), "         3  ");
    EXPECT_EQ(tk::write_internal("(F10.2)", {42.5f}, 10), "     42.50");
    EXPECT_EQ(tk::write_internal("(A)", {"abc"}, 2), "ab");
}

struct BadFormat {
    const char* text;
    const char* message;
};

TEST(FormatParse, MalformedFormatsGiveAClearError) {
    const BadFormat cases[] = {
        {"(I5", "parentheses are not balanced"},
        {"I5)", "does not begin with '('"},
        {"(I5))", "text after the closing parenthesis"},
        {"(Q5)", "unknown descriptor 'Q'"},
        {"(I)", "a width is missing"},
        {"(F.2)", "a width is missing"},
        {"(F8.)", "a decimal count is missing"},
        {"(0I5)", "a repeat count of 0"},
        {"('abc)", "literal text is not closed"},
        {"(5Hab)", "H text runs past the end"},
        {"(T)", "a tab position is missing"},
        {"(I99999999)", "a width is too large"},
        {"", "does not begin with '('"},
        {"(3)", "unexpected character ')'"},
        {"(3", "the format ends too early"},
        {"(I5,$)", "unexpected character '$'"},
    };
    for (const auto& c : cases) {
        const tk::Format f = tk::parse_format(c.text);
        EXPECT_NE(f.error.find(c.message), std::string::npos) << c.text << " -> " << f.error;
        EXPECT_THROW(one_record(c.text, {1}), tk::FormatError) << c.text;
    }
}

TEST(FormatParse, GroupsThatWouldLoopWithoutConsumingAnItemAreErrors) {
    EXPECT_THROW(records("(I5,(1X))", {1, 2}), tk::FormatError);
    EXPECT_THROW(records("('no data')", {1}), tk::FormatError);
    EXPECT_EQ(tk::parse_format("(((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((I1)))))))))))))"
                               "))))))))))))))))))))))))))))))))))))))))))))))))))))))")
                  .error.empty(),
              false);  // nesting deeper than the engine allows
}

TEST(FormatParse, LettersInEitherCaseAndCachedByText) {
    EXPECT_EQ(one_record("(a8,2x,1000g15.8)", {"ROW     ", 1.0}), one_record("(A8,2X,1000G15.8)", {"ROW     ", 1.0}));
    EXPECT_EQ(&tk::cached_format("(I3)"), &tk::cached_format("(I3)"));
}

TEST(FormatWrite, ItemsThatDoNotMatchTheirDescriptor) {
    EXPECT_THROW(one_record("(I5)", {1.5}), tk::FormatError);
    EXPECT_THROW(one_record("(F5.1)", {"text"}), tk::FormatError);
    EXPECT_THROW(one_record("(A)", {3}), tk::FormatError);
    EXPECT_EQ(one_record("(F5.1)", {3}), "  3.0");  // an integer under a real descriptor is its value
}

}  // namespace
