// The run memo that opens every listing of kirv: the banner, the time and
// date of the run, the data file and the settings that govern the genetic
// parameters, and, when bending is requested, the opening of the bending
// messages.
#pragma once

#include "common/files.hpp"

#include <string>
#include <vector>

namespace kirv {

// Local date and time of day, passed in so that a run's clock can be fixed.
struct LocalTime {
    int year = 1970;  // four digits
    int month = 1;
    int day = 1;
    int hour = 0;
    int minute = 0;
    int second = 0;
};

// The system's local time now.
LocalTime local_time_now();

// "hh:mm:ss" and "YY-MM-DD" (last two digits of the year).
std::string memo_time(const LocalTime& now);
std::string memo_date(const LocalTime& now);

struct MemoSettings {
    std::string data_file;  // shown in small letters
    int bending = 0;        // every positive switch bends
    double relative = 0.25;
    int genetic_group = 0;  // 0-based effect
    int reference = -1;     // 0-based effect, -1 for the identity
    double minimum_eigenvalue = 0.0;
    std::vector<std::string> replaced;  // settings replaced by their defaults: one note line each
    std::vector<std::string> effect_names{};  // when the data file names its effects: shown after the numbers
    std::string group_reason{};               // why kirv chose the genetic group, when it did
};

void write_memo(tk::TextWriter& listing, const MemoSettings& settings, const LocalTime& now);

}  // namespace kirv
