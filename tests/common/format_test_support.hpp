// Helpers shared by the tests of the record writer and reader.
#pragma once

#include <string>
#include <vector>

#include "common/format.hpp"

namespace tk_test {

// The records of one write statement, without their CR LF line ends.
inline std::vector<std::string> records(std::string_view format, std::initializer_list<tk::Item> items) {
    std::string text;
    tk::format_records(text, tk::cached_format(format), std::span<const tk::Item>(items.begin(), items.size()));
    std::vector<std::string> out;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find("\r\n", start);
        out.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return out;
}

inline std::string one_record(std::string_view format, std::initializer_list<tk::Item> items) {
    const auto r = records(format, items);
    if (r.size() == 1) return r[0];
    std::string note = "<";
    note += std::to_string(r.size());
    note += " records>";
    return note;
}

}  // namespace tk_test
