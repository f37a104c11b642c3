#include "kirv/memo.hpp"

#include "common/format.hpp"
#include "common/tokenizer.hpp"

#include <cstdio>
#include <ctime>

namespace kirv {
namespace {

constexpr const char* banner[] = {
    "                 ---  K  I  R  V   V e r s i o n  1 . 0  ---                   ",
    "   -------------- ***************************************** ----------------   ",
    "** B A S I C   Q U A N T I T A T I V E   G E N E T I C   P A R A M E T E R S **",
    "   -------------------------------------------------------------------------   ",
};

void blank_record(tk::TextWriter& out) { tk::write_formatted(out, "(A)", {" "}); }

// An effect's name after its number, when the data file names its effects.
std::string name_after(int effect, const std::vector<std::string>& names) {
    if (effect < 0 || static_cast<std::size_t>(effect) >= names.size()) return {};
    return " (" + names[static_cast<std::size_t>(effect)] + ")";
}

std::string two_digit_triple(int a, int b, int c, char separator) {
    char text[16];
    std::snprintf(text, sizeof text, "%02d%c%02d%c%02d", a % 100, separator, b % 100, separator, c % 100);
    return text;
}

}  // namespace

LocalTime local_time_now() {
    const std::time_t now = std::time(nullptr);
    std::tm parts{};
    localtime_r(&now, &parts);
    return {parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec};
}

std::string memo_time(const LocalTime& now) { return two_digit_triple(now.hour, now.minute, now.second, ':'); }

std::string memo_date(const LocalTime& now) { return two_digit_triple(now.year, now.month, now.day, '-'); }

void write_memo(tk::TextWriter& listing, const MemoSettings& s, const LocalTime& now) {
    for (const char* line : banner) tk::write_formatted(listing, "(A)", {line});
    for (int i = 0; i < 3; ++i) blank_record(listing);
    tk::write_formatted(listing, "(A)", {">>> M E M O <<<"});
    blank_record(listing);
    tk::write_formatted(listing, "(A,A)", {"    Time: ", memo_time(now)});
    tk::write_formatted(listing, "(A,A)", {"    Date: ", memo_date(now)});
    std::string name = s.data_file;
    tk::to_lower(name);
    tk::left_adjust(name);
    tk::write_formatted(listing, "(A,A)", {"    Data file: ", std::string(tk::significant(name))});
    blank_record(listing);

    // Every value ends in column 56.
    tk::write_formatted(listing, "(A,F17.2)", {"    Coefficient of coancestry relatives", s.relative});
    tk::write_formatted(listing, "(A,I18,A)", {"    ID number for genetic group effect", s.genetic_group + 1,
                                               name_after(s.genetic_group, s.effect_names)});
    if (!s.group_reason.empty()) tk::write_formatted(listing, "(A,A)", {"    Chosen by kirv: ", s.group_reason});
    const bool bending = s.bending > 0;
    if (bending) {
        tk::write_formatted(listing, "(A)", {"    Do bending for genetic VC matrix if needed       YES"});
        if (s.reference < 0)
            tk::write_formatted(listing, "(A)", {"    ID number for reference VC matrix                  0 (IDENTITY)"});
        else
            tk::write_formatted(listing, "(A,I19,A)", {"    ID number for reference VC matrix", s.reference + 1,
                                                       name_after(s.reference, s.effect_names)});
        tk::write_formatted(listing, "(A,F14.3)", {"    Lowest eigenvalue for bended VC matrix", s.minimum_eigenvalue});
    } else {
        tk::write_formatted(listing, "(A)", {"    Do bending for genetic VC matrix if needed        NO"});
    }
    for (const std::string& text : s.replaced) tk::write_formatted(listing, "(A,A,A)", {"    Note: ", text, "."});
    blank_record(listing);
    blank_record(listing);
    if (bending) {
        tk::write_formatted(listing, "(A)", {">>> B E N D I N G  M E S S A G E S <<<"});
        blank_record(listing);
        tk::write_formatted(listing, "(A)", {" => BENDING REQUESTED"});
    }
}

}  // namespace kirv
