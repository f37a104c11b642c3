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
    absent,      // no control file: nothing to do
    read,        // all fields read
    bad,         // the file ended early, held text where a number belongs, or a name longer than its field
    not_deleted  // read, but it could not be deleted: the run must not start (a restart would repeat it)
};

// The widths of the file names of the control files: a longer name is an
// error, never cut (a cut name would lead to another file).
inline constexpr std::size_t tarvel_name_width = 100;
inline constexpr std::size_t kirv_name_width = 80;

// The fields of tarvel's control file, each its whole record without
// trailing blanks (so the length is the significant length; empty means not
// given); a file name longer than its width makes the file bad.
struct TarvelControl {
    ControlStatus status = ControlStatus::absent;
    std::string problem;  // what was wrong with a bad file (or why it was not deleted)
    std::int32_t window = 0;
    std::int32_t listing = 0;  // L: 1 or more writes a listing
    std::int32_t capacity_df = 0, capacity_ss = 0, capacity_ems = 0, capacity_vc = 0;
    std::string data_file, listing_file, model, data_format, traits, missing_values, print_options;
};

// kirv's control file: two integers and seven records, each whole (the two
// file names at most 80 characters).
struct KirvControl {
    ControlStatus status = ControlStatus::absent;
    std::string problem;
    std::int32_t window = 0;
    std::int32_t listing = 0;
    std::array<std::string, 7> records;  // data file, listing file, switches, relationship, group, reference, eigenvalue
};

// Reads the control file and deletes it at once, whatever it holds. A read
// error makes it bad; a failed deletion makes it not_deleted.
TarvelControl read_tarvel_control(std::string_view path = tarvel_control_file);
KirvControl read_kirv_control(std::string_view path = kirv_control_file);

}  // namespace tk
