// The control files that the host writes before it starts a program.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace tk {

inline constexpr const char* tarvel_control_file = "tanv~tm0.$$$";
inline constexpr const char* kirv_control_file = "tanv~tm3.$$$";

enum class ControlStatus {
    absent,  // no control file: the program ends quietly
    read,    // all fields read
    bad      // the file ended early or held text where a number belongs
};

// The fields of tarvel's control file. A file name keeps the first 100
// characters of its record, every other field its whole record; all without
// trailing blanks (so the length is the significant length; empty means not
// given).
struct TarvelControl {
    ControlStatus status = ControlStatus::absent;
    std::string problem;  // what was wrong with a bad file
    std::int32_t window = 0;
    std::int32_t listing = 0;  // L: 1 or more writes a listing
    std::int32_t capacity_df = 0, capacity_ss = 0, capacity_ems = 0, capacity_vc = 0;
    std::string data_file, listing_file, model, data_format, traits, missing_values, print_options;
};

// kirv's control file: two integers and seven records; the two file names keep
// their first 100 characters, the settings their whole record.
struct KirvControl {
    ControlStatus status = ControlStatus::absent;
    std::string problem;
    std::int32_t window = 0;
    std::int32_t listing = 0;
    std::array<std::string, 7> records;  // data file, listing file, switches, relationship, group, reference, eigenvalue
};

// Reads the control file and deletes it at once, whatever it holds.
TarvelControl read_tarvel_control(std::string_view path = tarvel_control_file);
KirvControl read_kirv_control(std::string_view path = kirv_control_file);

}  // namespace tk
