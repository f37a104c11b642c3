#include <gtest/gtest.h>

#include "common/tokenizer.hpp"

namespace {

std::vector<std::string> items_of(std::string line, std::size_t width) {
    tk::cut_at_equals(line);
    std::vector<std::string> out;
    for (;;) {
        std::string item = tk::next_item(line, tk::item_separators, width);
        if (tk::significant_length(item) == 0) break;
        out.emplace_back(tk::significant(item));
    }
    EXPECT_EQ(tk::significant_length(line), 0u);  // the line is consumed
    return out;
}

using Items = std::vector<std::string>;

TEST(Tokenizer, ItemsOfSpecificationLines) {
    const struct {
        const char* line;
        std::size_t width;
        Items expected;
    } cases[] = {
        {"DF = 1 1 8 20", 20, {"1", "1", "8", "20"}},
        {"DF=1,1,8,20", 20, {"1", "1", "8", "20"}},
        {"PRI = be, vcgg/h2g", 4, {"be", "vcgg", "h2g"}},
        {"x =", 20, {}},
        {"x = , / ,", 20, {}},
        {"REL 0.25", 20, {"REL", "0.25"}},  // no "=": the keyword is the first item
        {"= 1, 2,,3", 20, {"1", "2", "3"}},
        {"= /1/2/3/", 20, {"1", "2", "3"}},
        {"= abcdefghijklm", 4, {"abcd"}},  // cut to the store's width
        {"= a=b", 20, {"a=b"}},            // only the first "=" cuts
        {"MIS = -9\t-99", 20, {"-9", "-99"}},  // a tab separates as a blank does
    };
    for (const auto& c : cases) EXPECT_EQ(items_of(std::string(c.line) + std::string(30, ' '), c.width), c.expected) << c.line;
}

TEST(Tokenizer, NextItemKeepsTheRestOfTheLinePadded) {
    std::string line = "ab  cd,ef     ";
    EXPECT_EQ(tk::next_item(line, tk::item_separators, 3), "ab ");
    EXPECT_EQ(line, "cd,ef         ");
    std::string blank(6, ' ');
    EXPECT_EQ(tk::next_item(blank, tk::item_separators, 2), "  ");
    EXPECT_EQ(blank, std::string(6, ' '));
}

TEST(Tokenizer, CountAndSplit) {
    std::string line = "DF = 1 2 3 4 5";
    EXPECT_EQ(tk::count_items(line, tk::item_separators, 500), 5);
    line = "DF = 1 2 3 4 5";
    EXPECT_EQ(tk::count_items(line, tk::item_separators, 3), 3);
    line = "1 2 3";
    std::vector<std::string> store(5, std::string(4, '?'));
    EXPECT_EQ(tk::split_items(line, tk::item_separators, store, 4, 5), 3);
    EXPECT_EQ(store[3], "    ");  // the item after the last one is blank
    EXPECT_EQ(store[4], "????");  // callers blank the store first
}

TEST(Tokenizer, NameItems) {
    std::string line = "PRI = MS,SS/KIRV";
    const tk::NameItems n = tk::read_name_items(line, 5, 4);
    EXPECT_EQ(n.found, 3);
    ASSERT_EQ(n.names.size(), 5u);
    EXPECT_EQ(n.names[2], "KIRV");
    EXPECT_EQ(n.names[3], "    ");
}

TEST(Tokenizer, NumberItems) {
    const struct {
        const char* line;
        int count;
        std::vector<float> values;
        int found;
        const char* bad;
    } cases[] = {
        {"= 4.5", 3, {4.5f, 0.0f, 0.0f}, 1, ""},
        {"= 12", 1, {12.0f}, 1, ""},
        {"= 1.5E2", 1, {150.0f}, 1, ""},
        {"MIS=-9,-99", 2, {-9.0f, -99.0f}, 2, ""},
        {"= 1234567890123456789012345", 1, {1234567890123456789012345.0f}, 1, ""},  // read whole, never cut
        {"= 1.00000000000000000000E+05", 1, {1.0e5f}, 1, ""},
        {"= 3 abc 4", 3, {3.0f, 0.0f, 4.0f}, 3, "abc"},
        {"= --2", 1, {0.0f}, 1, "--2"},
    };
    for (const auto& c : cases) {
        std::string line = c.line;
        const tk::NumberItems r = tk::read_number_items(line, c.count);
        EXPECT_EQ(r.found, c.found) << c.line;
        EXPECT_EQ(r.bad_item, c.bad) << c.line;
        if (r.ok()) {
            EXPECT_EQ(r.values, c.values) << c.line;
        }
    }
}

TEST(Tokenizer, AdjustAndCase) {
    std::string t = "   ab ";
    EXPECT_EQ(tk::left_adjust(t), 2);
    EXPECT_EQ(t, "ab    ");
    std::string blank = "   ";
    EXPECT_EQ(tk::left_adjust(blank), 0);
    std::string m = "Mod = a+b|c {x}";
    tk::to_upper(m);
    EXPECT_EQ(m, "MOD = A+B|C {X}");
    tk::to_lower(m);
    EXPECT_EQ(m, "mod = a+b|c {x}");
}

}  // namespace
