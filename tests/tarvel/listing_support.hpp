// Test helper: the records that a writer puts into a listing file.
#pragma once

#include "common/files.hpp"
#include "../common/temp_dir.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tarvel_test {

// Splits a file's text into records at CR LF; every record must end in one.
inline std::vector<std::string> split_records(const std::string& text) {
    std::vector<std::string> records;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find("\r\n", start);
        if (end == std::string::npos) {
            ADD_FAILURE() << "record without CR LF: " << text.substr(start);
            records.push_back(text.substr(start));
            break;
        }
        records.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return records;
}

// Runs write(out) on a fresh listing file and returns its records.
template <class Write>
std::vector<std::string> listing_records(Write write) {
    tk_test::TempDir dir;
    tk::TextWriter out;
    EXPECT_TRUE(out.open(dir.file("listing.lst")));
    write(out);
    EXPECT_TRUE(out.close());
    return split_records(dir.read("listing.lst"));
}

}  // namespace tarvel_test
