#include "common/names.hpp"

#include <algorithm>
#include <cctype>
#include <map>

#include "common/tokenizer.hpp"

namespace tk {
namespace {

// For every index, whether another name of a different text cuts to the same text.
std::vector<bool> colliding(const std::vector<std::string>& full, const std::vector<std::string>& shown) {
    std::map<std::string, std::vector<std::size_t>> by_shown;
    for (std::size_t i = 0; i < shown.size(); ++i) by_shown[shown[i]].push_back(i);
    std::vector<bool> collides(shown.size(), false);
    for (const auto& [text, indices] : by_shown)
        for (std::size_t i : indices)
            for (std::size_t j : indices)
                if (full[i] != full[j]) collides[i] = true;
    return collides;
}

std::string elided(const std::string& name, std::size_t width) {
    const std::size_t head = width / 2;  // ceil((width - 1) / 2)
    const std::size_t tail = width - 1 - head;
    return name.substr(0, head) + "~" + name.substr(name.size() - tail);
}

char lower(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

std::size_t edit_distance(std::string_view a, std::string_view b) {
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            const std::size_t substitution = diagonal + (lower(a[i - 1]) == lower(b[j - 1]) ? 0 : 1);
            row[j] = std::min({above + 1, row[j - 1] + 1, substitution});
            diagonal = above;
        }
    }
    return row[b.size()];
}

}  // namespace

std::vector<std::string> distinct_names(std::span<const std::string> names, std::size_t width) {
    std::vector<std::string> full, shown;
    for (const std::string& name : names) {
        full.emplace_back(significant(name));
        shown.push_back(full.back().substr(0, width));
    }
    if (width < 3) return shown;
    std::vector<bool> collides = colliding(full, shown);
    for (std::size_t i = 0; i < shown.size(); ++i)
        if (collides[i] && full[i].size() > width) shown[i] = elided(full[i], width);
    collides = colliding(full, shown);
    int number = 0;
    for (std::size_t i = 0; i < shown.size(); ++i) {
        if (!collides[i] || full[i].size() <= width) continue;
        std::string suffix(1, '~');
        suffix += std::to_string(++number);
        shown[i] = full[i].substr(0, width > suffix.size() ? width - suffix.size() : 0) + suffix;
    }
    return shown;
}

std::string nearest_name(std::span<const std::string> candidates, std::string_view wanted) {
    std::string best;
    std::size_t best_distance = 0;
    for (const std::string& candidate : candidates) {
        const std::size_t d = edit_distance(candidate, wanted);
        if (best.empty() || d < best_distance) best = candidate, best_distance = d;
    }
    return best;
}

}  // namespace tk
