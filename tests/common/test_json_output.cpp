// JSON results: exact numbers, null for what JSON cannot hold, the layout of
// a document, and files written whole or not at all.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "common/json_output.hpp"
#include "temp_dir.hpp"

namespace {

TEST(JsonOutput, NumbersReadBackExactly) {
    const double values[] = {0.1, 1.0 / 3.0, -2.5e300, 1e-300, 5e-324, 0.30000000000000004, 123456789.0, -0.0};
    const tk::Json doc = tk::json_numbers(values);
    const tk::Json back = tk::Json::parse(tk::json_text(doc));
    ASSERT_EQ(back.size(), std::size(values));
    for (std::size_t i = 0; i < std::size(values); ++i) {
        const double x = back[i].get<double>();
        EXPECT_EQ(x, values[i]) << i;
        EXPECT_EQ(std::signbit(x), std::signbit(values[i])) << i;
    }
}

TEST(JsonOutput, NonFiniteNumbersAreNull) {
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_TRUE(tk::json_number(inf).is_null());
    EXPECT_TRUE(tk::json_number(-inf).is_null());
    EXPECT_TRUE(tk::json_number(nan).is_null());
    tk::Matrix m(1, 2);
    m.v = {1.5, nan};
    EXPECT_EQ(tk::json_text(tk::json_matrix(m)), "[\n  [1.5, null]\n]\n");
}

TEST(JsonOutput, MatricesAsRows) {
    tk::Matrix m(2, 3);  // column-major: v[i + j*2]
    m.v = {11, 21, 12, 22, 13, 23};
    EXPECT_EQ(tk::json_matrix(m), tk::Json::parse("[[11, 12, 13], [21, 22, 23]]"));
    EXPECT_EQ(tk::json_matrix(tk::Matrix()), tk::Json::array());
}

TEST(JsonOutput, Layout) {
    tk::Json doc;
    doc["name"] = "kirv";
    doc["values"] = {1.0, 2.5};
    doc["rows"] = tk::Json::array({tk::Json::array({1, 2}), tk::Json::array({3, 4})});
    doc["nested"] = {{"flag", true}, {"none", nullptr}, {"empty", tk::Json::array()}, {"object", tk::Json::object()}};
    doc["text\xff"] = "a\xe9";  // not UTF-8
    EXPECT_EQ(tk::json_text(doc),
              "{\n"
              "  \"name\": \"kirv\",\n"
              "  \"values\": [1.0, 2.5],\n"
              "  \"rows\": [\n"
              "    [1, 2],\n"
              "    [3, 4]\n"
              "  ],\n"
              "  \"nested\": {\n"
              "    \"flag\": true,\n"
              "    \"none\": null,\n"
              "    \"empty\": [],\n"
              "    \"object\": {}\n"
              "  },\n"
              "  \"text\xef\xbf\xbd\": \"a\xef\xbf\xbd\"\n"
              "}\n");
}

TEST(JsonOutput, FileWrittenWholeOrNotAtAll) {
    tk_test::TempDir dir;
    const tk::Json doc = {{"a", 1}};
    EXPECT_EQ(tk::write_json_file(dir.file("r.json"), doc), std::nullopt);
    EXPECT_EQ(dir.read("r.json"), tk::json_text(doc));

    const std::string missing = dir.file("none/r.json");
    EXPECT_EQ(tk::write_json_file(missing, doc), "Cannot open the JSON file " + missing + "!");
    // A directory is never replaced, and no temporary file stays.
    std::filesystem::create_directory(dir.path / "sub");
    EXPECT_EQ(tk::write_json_file(dir.file("sub"), doc), "Cannot open the JSON file " + dir.file("sub") + "!");
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"r.json", "sub"}));

    // A writer dropped before close() leaves nothing under the name.
    {
        tk::TextWriter out;
        ASSERT_TRUE(tk::open_json_output(out, dir.file("half.json")));
        tk::write_json(out, doc);
    }
    EXPECT_FALSE(std::filesystem::exists(dir.path / "half.json"));
}

}  // namespace
