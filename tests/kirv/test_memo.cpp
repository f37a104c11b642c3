#include "kirv/memo.hpp"

#include "kirv_run_support.hpp"

#include <gtest/gtest.h>

namespace {

using Records = std::vector<std::string>;

const kirv::LocalTime fixed_clock{1996, 7, 3, 14, 5, 9};

Records memo_records(const kirv::MemoSettings& settings, const kirv::LocalTime& now = fixed_clock) {
    tk_test::TempDir dir;
    tk::TextWriter out;
    EXPECT_TRUE(out.open(dir.file("memo.lst")));
    kirv::write_memo(out, settings, now);
    out.close();
    return kirv_test::records_of(dir.read("memo.lst"));
}

const Records banner_and_head = {
    "                 ---  K  I  R  V   V e r s i o n  1 . 0  ---                   ",
    "   -------------- ***************************************** ----------------   ",
    "** B A S I C   Q U A N T I T A T I V E   G E N E T I C   P A R A M E T E R S **",
    "   -------------------------------------------------------------------------   ",
    " ",
    " ",
    " ",
    ">>> M E M O <<<",
    " ",
    "    Time: 14:05:09",
    "    Date: 96-07-03",
};

struct MemoCase {
    const char* name;
    kirv::MemoSettings settings;
    Records tail;  // the records after the time and date
};

TEST(Memo, Layouts) {
    const std::vector<MemoCase> cases = {
        {"no bending",
         {"  DATA.KIN", 0, 0.25, 1, -1, 0.0, {}},
         {"    Data file: data.kin", " ", "    Coefficient of coancestry relatives             0.25",
          "    ID number for genetic group effect                 2",
          "    Do bending for genetic VC matrix if needed        NO", " ", " "}},
        {"bending towards the identity",
         {"d", 1, 1.0, 0, -1, 0.5, {}},
         {"    Data file: d", " ", "    Coefficient of coancestry relatives             1.00",
          "    ID number for genetic group effect                 1",
          "    Do bending for genetic VC matrix if needed       YES",
          "    ID number for reference VC matrix                  0 (IDENTITY)",
          "    Lowest eigenvalue for bended VC matrix         0.500", " ", " ", ">>> B E N D I N G  M E S S A G E S <<<",
          " ", " => BENDING REQUESTED"}},
        {"bending towards effect 3; any positive switch bends",
         {"", 2, 0.25, 0, 2, 12.25, {}},
         {"    Data file: ", " ", "    Coefficient of coancestry relatives             0.25",
          "    ID number for genetic group effect                 1",
          "    Do bending for genetic VC matrix if needed       YES",
          "    ID number for reference VC matrix                  3",
          "    Lowest eigenvalue for bended VC matrix        12.250", " ", " ", ">>> B E N D I N G  M E S S A G E S <<<",
          " ", " => BENDING REQUESTED"}},
        {"a replaced setting is noted",
         {"d", 0, 0.25, 0, -1, 0.0, {"the relative coefficient 1.5 is outside 0 to 1; 0.25 is used"}},
         {"    Data file: d", " ", "    Coefficient of coancestry relatives             0.25",
          "    ID number for genetic group effect                 1",
          "    Do bending for genetic VC matrix if needed        NO",
          "    Note: the relative coefficient 1.5 is outside 0 to 1; 0.25 is used.", " ", " "}},
        {"negative switch", {"d", -1, 0.25, 0, -1, 0.0, {}},
         {"    Data file: d", " ", "    Coefficient of coancestry relatives             0.25",
          "    ID number for genetic group effect                 1",
          "    Do bending for genetic VC matrix if needed        NO", " ", " "}},
    };
    for (const auto& c : cases) {
        Records expected = banner_and_head;
        expected.insert(expected.end(), c.tail.begin(), c.tail.end());
        EXPECT_EQ(memo_records(c.settings), expected) << c.name;
    }
}

TEST(Memo, ValuesEndInColumn56) {
    const Records records = memo_records({"d", 1, 0.25, 3, 4, 0.5, {}});
    for (std::size_t i = 13; i <= 17; ++i) {
        const std::string& r = records[i];
        const std::size_t value_end = r.find(" (IDENTITY)") == std::string::npos ? r.size() : r.find(" (IDENTITY)");
        EXPECT_EQ(value_end, 56u) << r;
    }
}

TEST(Memo, TimeAndDateTwoDigitsEach) {
    const struct {
        kirv::LocalTime now;
        const char* time;
        const char* date;
    } cases[] = {
        {{1996, 7, 3, 14, 5, 9}, "14:05:09", "96-07-03"},
        {{2000, 12, 31, 0, 0, 0}, "00:00:00", "00-12-31"},
        {{2024, 1, 9, 23, 59, 59}, "23:59:59", "24-01-09"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(kirv::memo_time(c.now), c.time);
        EXPECT_EQ(kirv::memo_date(c.now), c.date);
    }
}

}  // namespace
