// The input of kirv: the settings taken over from the control file, and the
// input specification read from the data file (settings, degrees of freedom,
// trait names, the EMS matrix and one SS matrix per effect).
//
// Effects and traits are 0-based here; the IDs of the control and data files
// count from 1 and are converted where they are read. The reference effect is
// bending's identity_reference (-1) for the identity (ID 0).
#pragma once

#include "common/control.hpp"
#include "common/files.hpp"
#include "common/matrix.hpp"
#include "kirv/components.hpp"

#include <array>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace kirv {

// ------------------------------------------------------------ run statuses

// The run status that the main routine returns to the driver: 0 for a
// completed run, a negative code for each kind of input error.
inline constexpr int run_completed = 0;
inline constexpr int status_too_few_effects = -2;        // DF list with fewer than 2 items
inline constexpr int status_no_df = -3;                  // no DF line
inline constexpr int status_no_traits = -4;              // no line with "{"
inline constexpr int status_bad_traits = -5;             // "{" without "}"
inline constexpr int status_no_ems = -6;                 // no EMS block
inline constexpr int status_no_ss = -7;                  // no SS block
inline constexpr int status_singular_ems = -8;           // the EMS matrix is singular
inline constexpr int status_genetic_group = -9;          // genetic group ID absent or out of range
inline constexpr int status_bad_df = -10;                // a degree of freedom of 0 or below
inline constexpr int status_bad_relative = -11;          // a relative coefficient of 0
inline constexpr int status_matrix_ends_early = -12;     // a matrix block ends before its last row
inline constexpr int status_matrix_item = -13;           // a matrix item that is not a number
inline constexpr int status_bad_switches = -14;          // control record 3 not twelve integers
inline constexpr int status_too_many_traits = -15;       // more than max_traits traits
inline constexpr int status_bad_number = -16;            // a keyword value that is not a number
inline constexpr int status_file = -17;                  // a file that cannot be opened or written
inline constexpr int status_too_many_effects = -18;      // more than max_effects items on the DF line
inline constexpr int status_bad_effect_names = -19;      // effect names that do not fit the DF line
inline constexpr int status_bad_json = -20;              // a JSON data file that is not tarvel's results
inline constexpr int status_record_too_long = -21;       // a data file record beyond record_limit
inline constexpr int status_bad_reference = -22;         // --reference outside 0 to the number of effects

// The one error type of the run: the main routine turns it into the message
// box, the status text and the run status.
struct RunError : std::runtime_error {
    int status;
    RunError(int run_status, const std::string& message) : std::runtime_error(message), status(run_status) {}
};

// ------------------------------------------------------------ settings

inline constexpr int print_flag_count = 11;
inline constexpr int max_effects = 500;     // items counted on the DF line
inline constexpr int max_traits = 1000;     // the repeat count of the listing templates
inline constexpr std::size_t file_name_length = 80;
inline constexpr std::size_t trait_name_length = 16;
// The longest record of a data file: far above the longest one 1000 traits
// need, small enough that a file without line ends stops the run at once.
inline constexpr std::size_t record_limit = std::size_t{4} << 20;
inline constexpr double default_relative = 0.25;
inline constexpr const char* default_listing_name = "kirv.lst";
inline constexpr const char* summary_file_name = "tanv~tm4.$$$";

// Flag k (0-based) selects result block k: 0 bending results, 1 to 4 the
// covariance matrices, 5 and 6 heritabilities, 7 to 10 correlations.
using PrintFlags = std::array<int, print_flag_count>;
inline constexpr PrintFlags all_print_flags = {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};

// What the control file (or the command line) gave; an empty optional is a
// setting not given there, which the data file may then give.
struct ControlSettings {
    std::string data_file;     // first 80 characters of record 1, trimmed
    std::string listing_file;  // record 2 likewise; "kirv.lst" when empty and a listing is written
    // Record 3 gives both or neither; the command line gives each on its own.
    std::optional<int> bending;
    std::optional<PrintFlags> print_flags;
    std::optional<double> relative;
    std::optional<int> genetic_group_id;  // 1-based, truncated toward zero
    std::optional<std::string> genetic_group_name;  // the command line: the effect by its name
    std::optional<int> reference_id;      // 1-based, truncated toward zero
    std::optional<double> minimum_eigenvalue;
    // The command line: a reference_id outside 0 to the number of effects is
    // an input error; from the control file it means the identity.
    bool reference_must_fit = false;
    // The command line: without a genetic group, kirv may choose one when the
    // effects have names and the choice is plain; the host's control file
    // always names it.
    bool group_may_be_chosen = false;
};

// A file name of a control record: its first 80 characters, trimmed.
std::string control_file_name(std::string_view record);

// Takes over the seven control records. Throws RunError (status_bad_switches)
// when record 3 is given but does not hold twelve integers.
ControlSettings take_control_settings(const tk::KirvControl& control);

// The longest prefix of text, after leading blanks, that reads as a decimal
// number (sign, digits, point and fraction, exponent); 0 without one.
double numeric_prefix(std::string_view text);

// A real truncated toward zero into the 32-bit range (beyond it: the bound).
int truncate_to_int(double x);

// ------------------------------------------------------------ specification

struct Specification {
    double relative = default_relative;
    int bending = 0;
    double minimum_eigenvalue = 0.0;
    std::vector<double> df;                // neff degrees of freedom
    std::vector<std::string> trait_names;  // ntrait names of 16 characters
    std::vector<std::string> effect_names;  // neff names, the residual last; empty when the file names none
    int genetic_group = 0;                 // 0-based effect
    std::string genetic_group_reason;      // why kirv chose the genetic group; empty when the user did
    int reference = -1;                    // 0-based effect, -1 (ID 0) for the identity
    PrintFlags print_flags = all_print_flags;
    tk::Matrix ems;     // neff x neff
    EffectMatrices ss;  // neff matrices of ntrait x ntrait
    // Settings given outside their range and replaced as documented, each
    // saying what was given and what is used (for the warnings and the memo).
    std::vector<std::string> replaced_settings;
};

// Reads the whole specification in its fixed order, skipping the settings
// that the control file gave. Throws RunError on the first input error.
Specification read_specification(tk::TextReader& data, const ControlSettings& given);

// Each setting as the control file gave it, else from its keyword line of
// the data file (none when data is null), else its default: the
// relative coefficient, the bending switch and the minimum eigenvalue; then,
// once the degrees of freedom are known, the reference and the print flags.
void read_leading_settings(tk::TextReader* data, const ControlSettings& given, Specification& s);
void read_trailing_settings(tk::TextReader* data, const ControlSettings& given, Specification& s);

struct GeneticGroup;
// The genetic group as given, else on the "GEN" line (a number, or a name
// when the effects have names), else chosen among named effects.
GeneticGroup read_genetic_group(tk::TextReader* data, const ControlSettings& given,
                                const std::vector<std::string>& names, int neff);

// ------------------------------------------------------------ the reads

// The first of the first 100 non-blank records whose first two or three
// non-blank characters are the keyword in either case: its text after the
// first "=". The file is rewound afterwards.
std::optional<std::string> find_keyword(tk::TextReader& data, std::string_view keyword);

// The first of the first 100 non-blank records holding "{": its text from
// that "{" on. The file is rewound afterwards.
std::optional<std::string> find_brace_line(tk::TextReader& data);

// The names between braces, each padded to 16 characters (longer ones kept whole). Throws
// RunError (status_bad_traits) for a "{" without a later "}", and
// (status_too_many_traits) beyond max_traits names.
std::vector<std::string> parse_trait_names(std::string line);

// The print flags of the value text of a "PRI" line: all 0, then 1 for each
// known item (BE, VCGG, VCPG, VCGI, VCPI, H2G, H2I, RG, SRG, RP, SRP).
PrintFlags parse_print_flags(std::string value);

enum class MatrixLayout { full, upper, lower };

// Layout named on a matrix keyword line: "LOW" anywhere, else "UP", else full.
MatrixLayout matrix_layout(std::string_view keyword_line);

// Finds the first record of the file that starts (left-adjusted, in
// capitals) with the keyword and reads the `count` matrices of order n that
// follow. A mirrored (SS) block places row r, column c at (c, r) and makes each
// triangular row symmetric; an EMS block places it at (r, c). nullopt when the
// keyword is not in the file; RunError when the block ends early or an item is
// not a number.
std::optional<std::vector<tk::Matrix>> read_matrix_block(tk::TextReader& data, std::string_view keyword, int n,
                                                         int count, bool mirrored);

}  // namespace kirv
