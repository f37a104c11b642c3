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

constexpr int counter_step = 100;                       // accepted cases between two status counters
constexpr std::size_t scratch_block_bytes = std::size_t{1} << 16;
constexpr float not_given = std::numeric_limits<float>::quiet_NaN();

enum class CaseFate { accepted, skipped };

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

[[noreturn]] void level_too_large(int factor, float code, int case_number) {
    char digits[32];
    const std::string code_text(digits, std::to_chars(digits, digits + sizeof digits, code).ptr);
    throw RunError("Factor level too large! Factor " + std::string(1, static_cast<char>('A' + factor)) +
                   " of case " + std::to_string(case_number) + " has the code " + code_text +
                   "; levels go from 1 to 32767.");
}

// Levels are the codes truncated toward zero. A level of 0 or less skips the
// case; the factors before it have already raised their largest levels.
CaseFate take_levels(std::span<const float> codes, int case_number, ScratchRecord& record,
                     std::vector<int>& largest_levels) {
    for (std::size_t k = 0; k < codes.size(); ++k) {
        const float level = std::trunc(codes[k]);
        if (!(level > 0.0f)) return CaseFate::skipped;  // also a code not given (NaN)
        if (level > static_cast<float>(highest_level)) level_too_large(static_cast<int>(k), codes[k], case_number);
        record.levels[k] = static_cast<Level>(level);
        largest_levels[k] = std::max(largest_levels[k], static_cast<int>(level));
    }
    return CaseFate::accepted;
}

CaseFate examine_case(std::span<const float> values, const CaseReading& reading, int case_number,
                      ScratchRecord& record, std::vector<int>& largest_levels) {
    const std::size_t f = static_cast<std::size_t>(reading.factor_count);
    const std::span<const float> traits = values.subspan(f);
    if (has_missing_value(traits, reading.missing_codes)) return CaseFate::skipped;
    if (take_levels(values.first(f), case_number, record, largest_levels) == CaseFate::skipped)
        return CaseFate::skipped;
    std::copy(traits.begin(), traits.end(), record.traits.begin());
    return CaseFate::accepted;
}

// Levels, then trait values, into the record's bytes.
void encode_scratch_record(ScratchRecord& record) {
    const std::size_t level_bytes = record.levels.size() * sizeof(Level);
    std::memcpy(record.bytes.data(), record.levels.data(), level_bytes);
    std::memcpy(record.bytes.data() + level_bytes, record.traits.data(), record.traits.size() * sizeof(float));
}

void write_scratch_bytes(tk::ScratchFile& scratch, std::span<const unsigned char> bytes) {
    if (!scratch.write(bytes.data(), bytes.size()))
        throw RunError("Cannot write the case scratch file (is the disk full?).");
}

// Accepted records are collected and written in blocks of about 64 KB.
void add_to_block(tk::ScratchFile& scratch, std::vector<unsigned char>& block, ScratchRecord& record) {
    encode_scratch_record(record);
    block.insert(block.end(), record.bytes.begin(), record.bytes.end());
    if (block.size() < scratch_block_bytes) return;
    write_scratch_bytes(scratch, block);
    block.clear();
}

void show_case_counter(tk::Host& host, int accepted) {
    tk::show_counter(host, tk::write_internal("(a,i6)", {"Case: ", accepted}, 14));
}

// An unreadable case is dropped; the first one is remembered for the message
// of a run in which no case is accepted.
void note_unreadable(CaseSummary& summary, int case_number, const std::string& problem) {
    if (summary.unreadable++ == 0) summary.first_unreadable = "case " + std::to_string(case_number) + ": " + problem;
}

std::vector<tk::Target> targets_of(std::vector<float>& values) {
    std::vector<tk::Target> targets;
    targets.reserve(values.size());
    for (float& value : values) targets.emplace_back(value);
    return targets;
}

}  // namespace

bool skip_to_first_case(tk::TextReader& data) {
    std::string line;
    long head_lines = 0;
    bool found = false;
    while (data.read_record(line, line_length)) {
        const std::size_t first = line.find_first_not_of(" \t");
        if (first != std::string::npos && line[first] >= '0' && line[first] <= '9') {
            found = true;
            break;
        }
        ++head_lines;
    }
    data.rewind();
    if (found)
        for (long i = 0; i < head_lines; ++i) data.skip_record();
    return found;
}

CaseSummary read_cases(tk::TextReader& data, tk::ScratchFile& scratch, const CaseReading& reading, tk::Host& host) {
    CaseSummary summary;
    summary.largest_levels.assign(static_cast<std::size_t>(reading.factor_count), 1);
    std::vector<float> values(static_cast<std::size_t>(reading.factor_count + reading.trait_count), 0.0f);
    const std::vector<tk::Target> targets = targets_of(values);
    const tk::Format* format = reading.case_format ? &tk::cached_format(*reading.case_format) : nullptr;
    ScratchRecord record = make_scratch_record(reading.factor_count, reading.trait_count);
    std::vector<unsigned char> block;
    block.reserve(scratch_block_bytes + record.bytes.size());
    int case_number = 0;
    const bool has_cases = skip_to_first_case(data);
    while (has_cases && !data.at_end()) {
        // A free-form null value leaves its target as it was: without this
        // fill it would take the previous case's value.
        if (!format) std::fill(values.begin(), values.end(), not_given);
        const tk::ReadResult read = format ? tk::read_formatted(data, *format, targets)
                                           : tk::read_list(data, targets);
        if (read.status == tk::ReadStatus::end_of_file) break;
        ++case_number;
        if (read.status == tk::ReadStatus::error) {
            note_unreadable(summary, case_number, read.message);
            continue;
        }
        if (examine_case(values, reading, case_number, record, summary.largest_levels) == CaseFate::skipped) {
            ++summary.skipped;
            continue;
        }
        add_to_block(scratch, block, record);
        if (++summary.accepted % counter_step == 0) show_case_counter(host, summary.accepted);
    }
    write_scratch_bytes(scratch, block);
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
    if (summary.unreadable > 0) message += " (" + summary.first_unreadable + ")";
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

}  // namespace tarvel
