// Reading the cases of the data file into the case scratch file, and reading
// the scratch file back.
//
// A case is f factor codes and t trait values, all read as 4-byte reals (a
// code is read as an 8-byte real first, so that a message can quote it as
// written; its level is taken from its 4-byte value). Each
// accepted case becomes one scratch record of 4f + 4t bytes: the f levels as
// 32-bit signed integers, then the t trait values as 4-byte reals, in the
// machine's byte order and without framing. Factors and traits are 0-based.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "common/files.hpp"
#include "common/format.hpp"
#include "common/host.hpp"
#include "tarvel/case_report.hpp"
#include "tarvel/layout.hpp"

namespace tarvel {

inline constexpr int highest_level = 32767;  // the largest factor code of a data file

// How the cases are read.
struct CaseReading {
    int factor_count = 0;                    // f
    int trait_count = 0;                     // t
    std::optional<std::string> case_format;  // the prepared data format; absent: free-form
    std::vector<float> missing_codes;
    bool one_case_per_line = false;          // free-form: a line short of values is unreadable, never read on
    std::vector<bool> factor_used;           // per factor: some model term uses it (empty: all are used)
};

// The kinds of problem cases that reading the cases reports (keys of the report).
inline constexpr const char* problem_unreadable = "unreadable";
inline constexpr const char* problem_spanned_lines = "spanned_lines";
inline constexpr const char* problem_unused_factor = "unused_factor";

struct CaseSummary {
    int accepted = 0;
    int skipped = 0;                  // a missing trait value, or a level of 0 or less
    std::vector<int> largest_levels;  // per factor, from 1 on
    int unreadable = 0;               // cases dropped because they did not read (counted nowhere else)
    // Cases that did not read, free-form cases that took their values from
    // more than one line, and skipped cases whose only fault is the code of a
    // factor that no model term uses (these are among the skipped ones).
    CaseReport report;
};

// Reads every case after the head of the data file, writes the accepted ones
// to the scratch file and paints "Case: " and the count every 100 accepted
// cases. Leaves the data file rewound. Raises RunError for a factor code above
// 32767, quoting the code as written.
CaseSummary read_cases(tk::TextReader& data, tk::ScratchFile& scratch, const CaseReading& reading, tk::Host& host);

// Raises RunError, naming the data file and what became of its cases, when no
// case was accepted.
void require_accepted_cases(const CaseSummary& summary, std::string_view data_file);

// Positions the data file at its first case: the first line whose first
// non-blank character is a digit. Returns the number of head lines before it,
// or nothing (the file rewound) when there is no such line.
std::optional<std::int64_t> skip_to_first_case(tk::TextReader& data);

// One case as it stands in the scratch file.
struct ScratchRecord {
    std::vector<Level> levels;  // f
    std::vector<float> traits;         // t
    std::vector<unsigned char> bytes;  // the record as stored, 4f + 4t bytes
};

ScratchRecord make_scratch_record(int factor_count, int trait_count);
void write_scratch_record(tk::ScratchFile& scratch, ScratchRecord& record);

// Records collected and written to the scratch file in blocks of about 64 KB:
// a reader adds each accepted record and flushes the block at its end.
struct ScratchBlock {
    std::vector<unsigned char> bytes;  // room for a block and one record more
    std::size_t used = 0;
};
void add_scratch_record(tk::ScratchFile& scratch, ScratchBlock& block, ScratchRecord& record);
void flush_scratch_block(tk::ScratchFile& scratch, ScratchBlock& block);
// Replaces level l of factor k by new_levels[k][l - 1] in the first `records`
// records of the scratch file, which is rewritten in blocks (and rewound).
void renumber_scratch_levels(tk::ScratchFile& scratch, std::int64_t records,
                             const std::vector<std::vector<Level>>& new_levels, int trait_count);

// Reads the next record into `record` (sized by make_scratch_record); false at
// the end of the file.
bool read_scratch_record(tk::ScratchFile& scratch, ScratchRecord& record);

// The status counter of the cases read or added ("Case:    200"), painted
// every case_counter_step cases by each reader and pass.
inline constexpr int case_counter_step = 100;
void show_case_counter(tk::Host& host, std::int64_t cases);

// Bytes of one scratch record of f factors and t traits.
std::size_t scratch_record_bytes(int factor_count, int trait_count);
// Decodes consecutive records (whole records of `bytes`): the levels into
// `levels` (f per record) and the trait values, widened to 8 bytes, into
// `traits` (`stride` per record, t of them given, the rest 0).
void decode_scratch_records(std::span<const unsigned char> bytes, int factor_count, int trait_count,
                            std::span<Level> levels, std::span<double> traits, int stride);

}  // namespace tarvel
