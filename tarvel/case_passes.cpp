#include "tarvel/case_passes.hpp"

#include <algorithm>
#include <string>

#include "common/format.hpp"
#include "common/threads.hpp"
#include "tarvel/absorption.hpp"
#include "tarvel/cases.hpp"
#include "tarvel/run_error.hpp"

namespace tarvel {
namespace {


std::size_t record_bytes(const ScratchShape& shape) { return scratch_record_bytes(shape.factors, shape.traits); }

// The cheap invariant of both passes: the file holds the accepted cases, no
// more, no fewer.
void require_accepted_cases_only(tk::ScratchFile& scratch, const ScratchShape& shape) {
    const std::int64_t expected = shape.cases * static_cast<std::int64_t>(record_bytes(shape));
    const std::int64_t size = scratch.size();
    if (size == expected) return;
    throw RunError("The case scratch file holds " + std::to_string(size) + " bytes where the " +
                   std::to_string(shape.cases) + " accepted cases take " + std::to_string(expected) +
                   ": it did not keep what was written (is the disk full?).");
}

enum class Fault { unreadable, misfit };

[[noreturn]] void fail_read_back(Fault fault, std::int64_t first, int count) {
    const std::string cases = std::to_string(first + 1) + " to " + std::to_string(first + count);
    if (fault == Fault::unreadable) throw RunError("Cannot read back the case scratch file (cases " + cases + ").");
    throw RunError("The case scratch file does not read back as written (cases " + cases +
                   " hold levels that the accepted cases did not).");
}

// Reads and decodes cases first ... first + count - 1; with a layout, also
// the columns of each case.
void load_chunk(const ColumnLayout* layout, const tk::ScratchFile& scratch, const ScratchShape& shape,
                std::int64_t first, int count, CaseChunk& chunk) {
    const std::size_t size = record_bytes(shape);
    const std::size_t f = static_cast<std::size_t>(shape.factors);
    const int stride = std::max(1, shape.traits);
    const std::size_t per_case = layout ? static_cast<std::size_t>(layout->columns_per_case) : 0;
    const std::size_t n = static_cast<std::size_t>(count);
    chunk.first = first;
    chunk.count = count;
    chunk.bytes.resize(n * size);
    chunk.levels.resize(n * f);
    chunk.traits.resize(n * static_cast<std::size_t>(stride));
    chunk.columns.resize(n * per_case);
    if (!scratch.read_at(chunk.bytes.data(), chunk.bytes.size(), static_cast<std::uint64_t>(first) * size))
        fail_read_back(Fault::unreadable, first, count);
    decode_scratch_records(chunk.bytes, shape.factors, shape.traits, chunk.levels, chunk.traits, stride);
    if (!layout) return;
    for (std::size_t k = 0; k < n; ++k) {
        const std::span<const Level> levels(chunk.levels.data() + k * f, f);
        const std::span<int> columns(chunk.columns.data() + k * per_case, per_case);
        if (case_columns(*layout, levels, columns) != static_cast<int>(per_case)) fail_read_back(Fault::misfit, first, count);
    }
}

int chunk_size(std::int64_t first, std::int64_t cases) {
    return static_cast<int>(std::min<std::int64_t>(chunk_cases, cases - first));
}

// Share 0 paints the counter of the cases it has added, every 100.
void show_cases_done(tk::Host& host, std::int64_t done, std::int64_t& counted) {
    if (done - done % case_counter_step <= counted) return;
    counted = done - done % case_counter_step;
    show_case_counter(host, counted);
}

}  // namespace

void mark_columns(ColumnLayout& layout, tk::ScratchFile& scratch, const ScratchShape& shape, int threads) {
    require_accepted_cases_only(scratch, shape);
    const std::size_t f = static_cast<std::size_t>(shape.factors);
    // Each share marks its own run of cases; marks are the same whoever makes them.
    const int shares = marks_concurrently(layout) ? std::max(threads, 1) : 1;
    tk::run_shares(shares, [&](int share) {
        CaseChunk chunk;
        const std::int64_t end = shape.cases * (share + 1) / shares;
        for (std::int64_t first = shape.cases * share / shares; first < end; first += chunk_cases) {
            const int count = chunk_size(first, end);
            load_chunk(nullptr, scratch, shape, first, count, chunk);
            for (std::size_t k = 0; k < static_cast<std::size_t>(count); ++k)
                if (!mark_used_columns(layout, std::span<const Level>(chunk.levels.data() + k * f, f)))
                    fail_read_back(Fault::misfit, first, count);
        }
    });
}

NormalEquations accumulate_equations(const ColumnLayout& layout, tk::ScratchFile& scratch, const ScratchShape& shape,
                                     int dense_columns, LevelSums* levels, int threads, tk::Host& host) {
    require_accepted_cases_only(scratch, shape);
    const int shares = std::max(threads, 1);
    Accumulator acc = start_accumulation(layout, shape.traits, dense_columns, 0, shares);
    const int per_case = layout.columns_per_case;
    tk::run_shares(shares, [&](int share) {
        CaseChunk chunk;
        std::int64_t counted = 0;
        for (std::int64_t first = 0; first < shape.cases; first += chunk_cases) {
            const int count = chunk_size(first, shape.cases);
            load_chunk(&layout, scratch, shape, first, count, chunk);
            accumulate_cases(chunk.columns, per_case, chunk.traits, acc, share);
            if (levels) add_level_cases(chunk.columns, per_case, chunk.traits, *levels, share);
            if (share == 0) show_cases_done(host, first + count, counted);
        }
    });
    return finish_accumulation(std::move(acc));
}

}  // namespace tarvel
