#include "tarvel/layout.hpp"

#include <algorithm>
#include <array>
#include <atomic>
#include <climits>

namespace tarvel {
namespace {

// 0-based position of a case in an effect, or -1 when a level lies outside
// 1 ... largest. Cannot overflow: the position is below the level count,
// which setup_columns has checked to fit.
std::int64_t level_position(const EffectColumns& ec, std::span<const Level> levels) {
    std::int64_t position = 0;
    for (std::size_t k = 0; k < ec.factors.size(); ++k) {
        const std::size_t g = static_cast<std::size_t>(ec.factors[k]);
        if (g >= levels.size()) return -1;
        const int level = levels[g];
        if (level < 1 || level > ec.largest[k]) return -1;
        position += static_cast<std::int64_t>(level - 1) * ec.strides[k];
    }
    return position;
}

}  // namespace

ColumnLayout setup_columns(const Model& model, std::span<const int> largest_level) {
    ColumnLayout layout;
    layout.effects.resize(model.effects.size());
    std::int64_t dense_total = 0;
    for (std::size_t e = 0; e < model.effects.size(); ++e) {
        const Effect& effect = model.effects[e];
        EffectColumns& ec = layout.effects[e];
        ec.name = effect.name;
        ec.factors = effect.factors;
        const std::size_t c = effect.factors.size();
        ec.largest.assign(c, 1);
        ec.strides.assign(c, 1);
        // L(e) = product of the largest levels; strides from the last factor back.
        std::int64_t count = 1;
        for (std::size_t k = c; k-- > 0;) {
            const int g = effect.factors[k];
            if (g < 0 || static_cast<std::size_t>(g) >= largest_level.size()) {
                layout.error = "Effect " + effect.name + " uses a factor that the cases do not hold!";
                return layout;
            }
            ec.largest[k] = std::max(1, largest_level[static_cast<std::size_t>(g)]);
            ec.strides[k] = count;
            if (__builtin_mul_overflow(count, static_cast<std::int64_t>(ec.largest[k]), &count)) {
                layout.error = "Effect " + effect.name +
                               " has more level combinations than can be counted (over 2**63)!";
                return layout;
            }
        }
        if (count < 2) continue;  // no columns
        ec.full_level_count = count;
        ++layout.columns_per_case;
        ec.dense = count <= dense_effect_limit && dense_total + count <= dense_total_limit;
        if (ec.dense) {
            ec.dense_column.assign(static_cast<std::size_t>(count), -1);
            dense_total += count;
        }
    }
    return layout;
}

bool mark_used_columns(ColumnLayout& layout, std::span<const Level> levels) {
    // Check every effect before marking so that a bad case leaves no trace;
    // the positions of the first few effects are kept from the check.
    constexpr std::size_t kept = 16;
    std::array<std::int64_t, kept> positions{};
    for (std::size_t e = 0; e < layout.effects.size(); ++e) {
        const EffectColumns& ec = layout.effects[e];
        if (ec.full_level_count == 0) continue;
        const std::int64_t position = level_position(ec, levels);
        if (position < 0) return false;
        if (e < kept) positions[e] = position;
    }
    for (std::size_t e = 0; e < layout.effects.size(); ++e) {
        EffectColumns& ec = layout.effects[e];
        if (ec.full_level_count == 0) continue;
        const std::int64_t position = e < kept ? positions[e] : level_position(ec, levels);
        if (!ec.dense) {
            ec.sparse_used.insert(position);
            continue;
        }
        // Threads marking at once all store the same 0; a mark already made
        // is only read, so that the cache line stays shared.
        std::atomic_ref<std::int32_t> mark(ec.dense_column[static_cast<std::size_t>(position)]);
        if (mark.load(std::memory_order_relaxed) != 0) mark.store(0, std::memory_order_relaxed);
    }
    return true;
}

bool marks_concurrently(const ColumnLayout& layout) {
    return std::all_of(layout.effects.begin(), layout.effects.end(),
                       [](const EffectColumns& ec) { return ec.full_level_count == 0 || ec.dense; });
}

void compact_columns(ColumnLayout& layout) {
    std::int64_t next = 1;  // column 0 is the mean
    layout.source_names.assign(1, "Mean");
    layout.source_names.reserve(layout.effects.size() + 1);
    for (EffectColumns& ec : layout.effects) {
        ec.first_column = static_cast<int>(std::min<std::int64_t>(next, INT_MAX));
        ec.level_count = 0;
        if (ec.full_level_count == 0) continue;
        std::int32_t kept = 0;
        if (ec.dense) {
            for (std::int32_t& column : ec.dense_column)
                if (column >= 0) column = kept++;
        } else {
            std::vector<std::int64_t> used(ec.sparse_used.begin(), ec.sparse_used.end());
            ec.sparse_used = {};
            std::sort(used.begin(), used.end());
            ec.sparse_column.reserve(used.size());
            for (std::int64_t position : used) ec.sparse_column.emplace(position, kept++);
        }
        ec.level_count = kept;
        next += kept;
        if (next > INT_MAX) {
            layout.error = "The model has more columns than can be counted (over 2**31)!";
            return;
        }
    }
    layout.p = static_cast<int>(next);
    layout.labels.assign(static_cast<std::size_t>(layout.p), "Mean");
    layout.column_source.assign(static_cast<std::size_t>(layout.p), 0);
    for (std::size_t e = 0; e < layout.effects.size(); ++e) {
        const EffectColumns& ec = layout.effects[e];
        layout.source_names.push_back(ec.name);
        for (int c = ec.first_column; c < ec.first_column + ec.level_count; ++c) {
            layout.labels[static_cast<std::size_t>(c)] = ec.name;
            layout.column_source[static_cast<std::size_t>(c)] = static_cast<int>(e) + 1;
        }
    }
    layout.compacted = true;
}

int case_columns(const ColumnLayout& layout, std::span<const Level> levels,
                 std::span<int> columns) {
    if (!layout.compacted || columns.size() < static_cast<std::size_t>(layout.columns_per_case))
        return -1;
    int count = 0;
    columns[static_cast<std::size_t>(count++)] = 0;
    for (const EffectColumns& ec : layout.effects) {
        if (ec.full_level_count == 0) continue;
        const std::int64_t position = level_position(ec, levels);
        if (position < 0) return -1;
        std::int32_t column = -1;
        if (ec.dense) {
            column = ec.dense_column[static_cast<std::size_t>(position)];
        } else {
            const auto it = ec.sparse_column.find(position);
            if (it != ec.sparse_column.end()) column = it->second;
        }
        if (column < 0) return -1;
        columns[static_cast<std::size_t>(count++)] = ec.first_column + column;
    }
    return count;
}

}  // namespace tarvel
