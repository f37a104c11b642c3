// Randomised inputs for the format parser, both walkers and the free-form
// reader: whatever the text, each call ends with a result or a clear error,
// never a crash, an out-of-bounds access or an endless loop. Bounded in time
// by its fixed number of rounds; the sanitizer build checks the memory side.
#include <gtest/gtest.h>

#include <random>

#include "common/format.hpp"
#include "common/freeform.hpp"
#include "temp_dir.hpp"

namespace {

std::string random_text(std::mt19937& rng, std::string_view alphabet, std::size_t max_length) {
    std::uniform_int_distribution<std::size_t> length(0, max_length);
    std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
    std::string s(length(rng), ' ');
    for (char& c : s) c = alphabet[pick(rng)];
    return s;
}

// Formats built from the pieces the grammar knows, so that many of them parse.
std::string random_format(std::mt19937& rng) {
    static const char* pieces[] = {"I3", "F6.2", "E12.4", "G15.8", "A", "A5", "2X", "T10", "TL2", "TR3", "/",
                                   ":", "'ab'", "'it''s'", "1H.", "3(", "(", ")", "2", "1000(", ",", "0", "9(",
                                   "999999(", "Q", "I", ".", "'"};
    std::uniform_int_distribution<int> count(0, 12);
    std::uniform_int_distribution<std::size_t> pick(0, std::size(pieces) - 1);
    std::string f = "(";
    const int n = count(rng);
    for (int i = 0; i < n; ++i) {
        f += pieces[pick(rng)];
        if (rng() % 2) f += ',';
    }
    f += ')';
    if (rng() % 8 == 0) f = random_text(rng, "()IFEGAXTH0123456789.,/:' \"", 24);
    return f;
}

TEST(FormatRandom, ParserAndWriterNeverMisbehave) {
    std::mt19937 rng(20261207);
    const std::vector<tk::Item> items{1, 2.5, "text", -7, 1e30, 0.001f, "x", 123456789};
    for (int round = 0; round < 4000; ++round) {
        const std::string f = random_format(rng);
        const tk::Format parsed = tk::parse_format(f);
        const std::size_t n = rng() % (items.size() + 1);
        std::string out;
        try {
            tk::format_records(out, parsed, std::span<const tk::Item>(items.data(), n));
            EXPECT_TRUE(parsed.error.empty()) << f;
        } catch (const tk::FormatError&) {
        }
        EXPECT_LT(out.size(), std::size_t{1} << 26) << f;
    }
}

TEST(FormatRandom, FormattedReaderNeverMisbehaves) {
    std::mt19937 rng(77);
    for (int round = 0; round < 4000; ++round) {
        const std::string f = random_format(rng);
        const std::string record = random_text(rng, " 0123456789.+-eEdDabc,", 30);
        float a = 0, b = 0;
        std::string s(4, ' ');
        std::int32_t i = 0;
        const tk::ReadResult r = tk::read_internal(record, f, {a, s, i, b});
        if (!r.ok()) {
            EXPECT_TRUE(r.status == tk::ReadStatus::error || r.status == tk::ReadStatus::end_of_file);
        }
    }
}

TEST(FormatRandom, FreeformReaderNeverMisbehaves) {
    std::mt19937 rng(5);
    tk_test::TempDir dir;
    for (int round = 0; round < 300; ++round) {
        const std::string text = random_text(rng, " \t\n\r0123456789.,/*'\"+-eEdDxyz", 400);
        const std::string path = dir.write("r.txt", text);
        tk::TextReader in;
        ASSERT_TRUE(in.open(path));
        int reads = 0;
        for (;;) {
            double d = 0;
            float f = 0;
            std::int32_t i = 0;
            std::string s(3, ' ');
            const tk::ReadResult r = tk::read_list(in, {d, f, i, s});
            if (r.status == tk::ReadStatus::end_of_file) break;
            ASSERT_LT(++reads, 1000) << "the reader does not advance";
        }
    }
}

}  // namespace
