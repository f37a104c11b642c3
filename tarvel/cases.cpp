#include "tarvel/cases.hpp"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <algorithm>

#include "common/freeform.hpp"
#include "tarvel/run_error.hpp"
#include "tarvel/specification.hpp"

namespace tarvel {
namespace {

constexpr std::size_t scratch_block_bytes = std::size_t{1} << 16;
constexpr float not_given = std::numeric_limits<float>::quiet_NaN();
constexpr std::size_t all_levels_taken = std::numeric_limits<std::size_t>::max();

enum class CaseFate { accepted, skipped, skipped_for_unused_factor };

// The values of one case as read: f factor codes, then t trait values.
struct CaseValues {
    std::vector<double> codes;
    std::vector<float> traits;
    std::vector<tk::Target> targets;  // the codes, then the trait values

    CaseValues(int f, int t) : codes(static_cast<std::size_t>(f)), traits(static_cast<std::size_t>(t)) {
        targets.reserve(codes.size() + traits.size());
        for (double& code : codes) targets.emplace_back(code);
        for (float& value : traits) targets.emplace_back(value);
    }
    // A free-form null value leaves its target as it was: without this fill
    // it would take the previous case's value.
    void clear() {
        std::fill(codes.begin(), codes.end(), static_cast<double>(not_given));
        std::fill(traits.begin(), traits.end(), not_given);
    }
};

// The level of a code: its 4-byte value truncated toward zero.
float level_of(double code) { return std::trunc(static_cast<float>(code)); }

std::string factor_letter(std::size_t factor) { return std::string(1, static_cast<char>('A' + factor)); }

std::string code_text(double code) {
    char digits[32];
    return std::string(digits, std::to_chars(digits, digits + sizeof digits, code).ptr);
}

// A value that stayed NaN was not given on the case's line (a null value of a
// free-form line) and counts as missing like a missing code.
bool has_missing_value(std::span<const float> traits, std::span<const float> missing_codes) {
    for (float value : traits) {
        if (std::isnan(value)) return true;
        for (float code : missing_codes)
            if (value == code) return true;
    }
    return false;
}

[[noreturn]] void level_too_large(std::size_t factor, double code, int case_number, std::int64_t line) {
    throw RunError("Factor level too large! Factor " + factor_letter(factor) + " of case " +
                   std::to_string(case_number) + " (line " + std::to_string(line) + ") has the code " +
                   code_text(code) + "; levels go from 1 to 32767.");
}

// Levels are the codes truncated toward zero. A level of 0 or less skips the
// case; the factors before it have already raised their largest levels.
// Returns that factor, or all_levels_taken.
std::size_t take_levels(std::span<const double> codes, int case_number, std::int64_t line, ScratchRecord& record,
                        std::vector<int>& largest_levels) {
    for (std::size_t k = 0; k < codes.size(); ++k) {
        const float level = level_of(codes[k]);
        if (!(level > 0.0f)) return k;  // also a code not given (NaN)
        if (level > static_cast<float>(highest_level)) level_too_large(k, codes[k], case_number, line);
        record.levels[k] = static_cast<Level>(level);
        largest_levels[k] = std::max(largest_levels[k], static_cast<int>(level));
    }
    return all_levels_taken;
}

// True when every factor from `first` on whose level is below 1 is one that
// no model term uses: the case is skipped for a code that does not matter.
bool fails_only_unused_factors(std::span<const double> codes, std::size_t first, const CaseReading& reading) {
    if (reading.factor_used.size() != codes.size()) return false;
    for (std::size_t k = first; k < codes.size(); ++k)
        if (!(level_of(codes[k]) > 0.0f) && reading.factor_used[k]) return false;
    return true;
}

CaseFate examine_case(const CaseValues& values, const CaseReading& reading, int case_number, std::int64_t line,
                      ScratchRecord& record, std::vector<int>& largest_levels) {
    if (has_missing_value(values.traits, reading.missing_codes)) return CaseFate::skipped;
    const std::size_t failed = take_levels(values.codes, case_number, line, record, largest_levels);
    if (failed != all_levels_taken)
        return fails_only_unused_factors(values.codes, failed, reading) ? CaseFate::skipped_for_unused_factor
                                                                        : CaseFate::skipped;
    std::copy(values.traits.begin(), values.traits.end(), record.traits.begin());
    return CaseFate::accepted;
}

// Levels, then trait values, into the record's bytes.
void encode_scratch_record(ScratchRecord& record) {
    const std::size_t level_bytes = record.levels.size() * sizeof(Level);
    std::memcpy(record.bytes.data(), record.levels.data(), level_bytes);
    std::memcpy(record.bytes.data() + level_bytes, record.traits.data(), record.traits.size() * sizeof(float));
}

// A failed write (a full disk) raises tk::FileError.
void write_scratch_bytes(tk::ScratchFile& scratch, std::span<const unsigned char> bytes) {
    scratch.write(bytes.data(), bytes.size());
}

// The kinds of problem cases, in the order the report shows them.
struct ProblemKinds {
    ProblemCases* unreadable;
    ProblemCases* spanned;
    ProblemCases* unused_factor;
};

constexpr const char* unreadable_description = "case(s) could not be read and were left out";
constexpr const char* spanned_description = "case(s) took their values from more than one line";
constexpr const char* unused_factor_description =
    "case(s) were skipped only for a code below 1 of a factor that no model term uses";

ProblemKinds problem_kinds(CaseReport& report) {
    // All three are added before any is taken, so the references stay valid.
    for (const auto& [key, text] : {std::pair{problem_unreadable, unreadable_description},
                                    std::pair{problem_spanned_lines, spanned_description},
                                    std::pair{problem_unused_factor, unused_factor_description}})
        problem_kind(report, key, text);
    return {&problem_kind(report, problem_unreadable, unreadable_description),
            &problem_kind(report, problem_spanned_lines, spanned_description),
            &problem_kind(report, problem_unused_factor, unused_factor_description)};
}

// The first factor whose level is below 1, and its code.
std::string unused_factor_text(std::span<const double> codes) {
    for (std::size_t k = 0; k < codes.size(); ++k)
        if (!(level_of(codes[k]) > 0.0f))
            return "factor " + factor_letter(k) + " has the code " +
                   (std::isnan(codes[k]) ? std::string("(none)") : code_text(codes[k]));
    return {};
}

}  // namespace

std::optional<std::int64_t> skip_to_first_case(tk::TextReader& data) {
    std::string line;
    std::int64_t head_lines = 0;
    bool found = false;
    while (data.read_record(line)) {
        const std::size_t first = line.find_first_not_of(" \t");
        if (first != std::string::npos && line[first] >= '0' && line[first] <= '9') {
            found = true;
            break;
        }
        ++head_lines;
    }
    data.rewind();
    if (!found) return std::nullopt;
    for (std::int64_t i = 0; i < head_lines; ++i) data.skip_record();
    return head_lines;
}

CaseSummary read_cases(tk::TextReader& data, tk::ScratchFile& scratch, const CaseReading& reading, tk::Host& host) {
    CaseSummary summary;
    const ProblemKinds problems = problem_kinds(summary.report);
    summary.largest_levels.assign(static_cast<std::size_t>(reading.factor_count), 1);
    CaseValues values(reading.factor_count, reading.trait_count);
    const tk::Format* format = reading.case_format ? &tk::cached_format(*reading.case_format) : nullptr;
    const tk::ListRecords records = reading.one_case_per_line ? tk::ListRecords::one : tk::ListRecords::any;
    ScratchRecord record = make_scratch_record(reading.factor_count, reading.trait_count);
    ScratchBlock block;
    int case_number = 0;
    const std::optional<std::int64_t> head_lines = skip_to_first_case(data);
    std::int64_t lines_read = head_lines.value_or(0);
    while (head_lines && !data.at_end()) {
        if (!format) values.clear();
        const tk::ReadResult read = format ? tk::read_formatted(data, *format, values.targets)
                                           : tk::read_list(data, values.targets, records);
        const std::int64_t first_line = lines_read + read.blank_records + 1;  // the case's first line with a value
        lines_read += read.records;
        const bool partial = read.records > read.blank_records;
        if (read.status == tk::ReadStatus::end_of_file && !partial) break;
        ++case_number;
        if (read.status != tk::ReadStatus::ok) {
            // A case cut short by the end of the file did not read either.
            ++summary.unreadable;
            note_problem_case(*problems.unreadable, lines_read,
                              read.status == tk::ReadStatus::error ? read.message : "the data file ends within the case");
            continue;
        }
        if (!format && read.records - read.blank_records > 1) note_problem_case(*problems.spanned, first_line, "");
        const CaseFate fate = examine_case(values, reading, case_number, first_line, record, summary.largest_levels);
        if (fate != CaseFate::accepted) {
            ++summary.skipped;
            if (fate == CaseFate::skipped_for_unused_factor)
                note_problem_case(*problems.unused_factor, first_line, unused_factor_text(values.codes));
            continue;
        }
        add_scratch_record(scratch, block, record);
        if (++summary.accepted % case_counter_step == 0) show_case_counter(host, summary.accepted);
    }
    flush_scratch_block(scratch, block);
    data.rewind();
    return summary;
}

void require_accepted_cases(const CaseSummary& summary, std::string_view data_file) {
    if (summary.accepted > 0) return;
    std::string message = "No case accepted! The data file '" + std::string(data_file) + "' ";
    if (summary.skipped == 0 && summary.unreadable == 0) {
        message += "holds no case (no line after the head begins with a digit).";
        throw RunError(message);
    }
    message += "holds " + std::to_string(summary.skipped) + " case(s) with a missing trait value or a level below 1";
    message += " and " + std::to_string(summary.unreadable) + " case(s) that could not be read";
    const ProblemCases* unreadable = find_problem_kind(summary.report, problem_unreadable);
    if (unreadable && !unreadable->first.empty()) {
        const ProblemLine& first = unreadable->first.front();
        message += " (line " + std::to_string(first.line) + ": " + first.text + ")";
    }
    throw RunError(message + ".");
}

ScratchRecord make_scratch_record(int factor_count, int trait_count) {
    ScratchRecord record;
    record.levels.assign(static_cast<std::size_t>(factor_count), 0);
    record.traits.assign(static_cast<std::size_t>(trait_count), 0.0f);
    record.bytes.resize(record.levels.size() * sizeof(Level) + record.traits.size() * sizeof(float));
    return record;
}

void write_scratch_record(tk::ScratchFile& scratch, ScratchRecord& record) {
    encode_scratch_record(record);
    write_scratch_bytes(scratch, record.bytes);
}

// The record goes straight into the block, in the layout of encode_scratch_record.
void add_scratch_record(tk::ScratchFile& scratch, ScratchBlock& block, ScratchRecord& record) {
    if (block.bytes.size() < scratch_block_bytes + record.bytes.size())
        block.bytes.resize(scratch_block_bytes + record.bytes.size());
    const std::size_t level_bytes = record.levels.size() * sizeof(Level);
    unsigned char* at = block.bytes.data() + block.used;
    std::memcpy(at, record.levels.data(), level_bytes);
    std::memcpy(at + level_bytes, record.traits.data(), record.traits.size() * sizeof(float));
    block.used += record.bytes.size();
    if (block.used >= scratch_block_bytes) flush_scratch_block(scratch, block);
}

void flush_scratch_block(tk::ScratchFile& scratch, ScratchBlock& block) {
    if (block.used == 0) return;  // (a block never filled has no bytes at all)
    write_scratch_bytes(scratch, std::span<const unsigned char>(block.bytes.data(), block.used));
    block.used = 0;
}

void renumber_scratch_levels(tk::ScratchFile& scratch, std::int64_t records,
                             const std::vector<std::vector<Level>>& new_levels, int trait_count) {
    const std::size_t f = new_levels.size();
    const std::size_t record_bytes = f * sizeof(Level) + static_cast<std::size_t>(trait_count) * sizeof(float);
    const std::size_t per_block = std::max<std::size_t>(1, scratch_block_bytes / record_bytes);
    std::vector<unsigned char> block(per_block * record_bytes);
    tk::ScratchFile renumbered;
    renumbered.open();
    scratch.rewind();
    for (std::int64_t done = 0; done < records;) {
        const std::size_t n =
            static_cast<std::size_t>(std::min<std::int64_t>(records - done, static_cast<std::int64_t>(per_block)));
        if (!scratch.read(block.data(), n * record_bytes)) throw RunError("Cannot read the case scratch file.");
        for (std::size_t r = 0; r < n; ++r)
            for (std::size_t k = 0; k < f; ++k) {
                unsigned char* at = block.data() + r * record_bytes + k * sizeof(Level);
                Level level = 0;
                std::memcpy(&level, at, sizeof level);
                level = new_levels[k][static_cast<std::size_t>(level - 1)];
                std::memcpy(at, &level, sizeof level);
            }
        write_scratch_bytes(renumbered, std::span<const unsigned char>(block.data(), n * record_bytes));
        done += static_cast<std::int64_t>(n);
    }
    renumbered.rewind();
    scratch = std::move(renumbered);
}

bool read_scratch_record(tk::ScratchFile& scratch, ScratchRecord& record) {
    if (!scratch.read(record.bytes.data(), record.bytes.size())) return false;
    const std::size_t level_bytes = record.levels.size() * sizeof(Level);
    std::memcpy(record.levels.data(), record.bytes.data(), level_bytes);
    std::memcpy(record.traits.data(), record.bytes.data() + level_bytes, record.traits.size() * sizeof(float));
    return true;
}

std::size_t scratch_record_bytes(int factor_count, int trait_count) {
    return static_cast<std::size_t>(factor_count) * sizeof(Level) + static_cast<std::size_t>(trait_count) * sizeof(float);
}

void decode_scratch_records(std::span<const unsigned char> bytes, int factor_count, int trait_count,
                            std::span<Level> levels, std::span<double> traits, int stride) {
    const std::size_t f = static_cast<std::size_t>(factor_count);
    const std::size_t t = static_cast<std::size_t>(trait_count);
    const std::size_t size = scratch_record_bytes(factor_count, trait_count);
    const std::size_t count = size > 0 ? bytes.size() / size : 0;
    const std::size_t ts = static_cast<std::size_t>(stride);
    for (std::size_t k = 0; k < count; ++k) {
        const unsigned char* record = bytes.data() + k * size;
        Level* level = levels.data() + k * f;
        for (std::size_t g = 0; g < f; ++g) std::memcpy(level + g, record + g * sizeof(Level), sizeof(Level));
        const unsigned char* values = record + f * sizeof(Level);
        double* y = traits.data() + k * ts;
        for (std::size_t s = 0; s < ts; ++s) {
            float value = 0.0f;
            if (s < t) std::memcpy(&value, values + s * sizeof(float), sizeof value);
            y[s] = value;
        }
    }
}

void show_case_counter(tk::Host& host, std::int64_t cases) {
    tk::show_counter(host, tk::write_internal("(a,i6)", {"Case: ", static_cast<long long>(cases)}, 14));
}

}  // namespace tarvel
