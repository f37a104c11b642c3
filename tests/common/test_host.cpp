#include <gtest/gtest.h>

#include <cstdlib>

#include "common/control.hpp"
#include "common/files.hpp"
#include "common/host.hpp"
#include "common/tokenizer.hpp"
#include "temp_dir.hpp"

namespace {

TEST(Host, StatusGeometryFromTextMetrics) {
    // 8 pixels wide, 16 high, 96 pixels per inch, client area 800 x 600
    const tk::StatusGeometry g = tk::status_geometry({16, 8}, 96, 800, 600);
    EXPECT_EQ(g.y, 584);
    EXPECT_EQ(g.x14, 800 - 12 - 112);
    EXPECT_EQ(g.x20, 800 - 160 - 12);
    // divisions by 8 drop the fraction
    EXPECT_EQ(tk::status_geometry({10, 7}, 120, 641, 480).x14, 641 - 15 - 98);
    EXPECT_EQ(tk::status_geometry({10, 7}, 127, 641, 480).x20, 641 - 140 - 15);
}

TEST(Host, StatusPrefix) {
    EXPECT_EQ(tk::status_prefix(0), "          ");
    EXPECT_EQ(tk::status_prefix(3), " >3<      ");
    EXPECT_EQ(tk::status_prefix(12345), " >12345<  ");
    EXPECT_EQ(tk::status_prefix(1234567890), " >12345678");  // cut at ten characters
    EXPECT_EQ(tk::status_prefix(-5), " >-5<     ");
}

TEST(Host, RegistryValueFromTheEnvironment) {
    const struct {
        const char* text;
        std::int32_t value;
    } cases[] = {{"42", 42}, {" 7 ", 7}, {"-3", -3}, {"abc", 0}, {"12x", 0}, {"99999999999", 0}, {"", 0}};
    for (const auto& c : cases) {
        ::setenv("TK_TEST_REGISTRY", c.text, 1);
        EXPECT_EQ(tk::registry_value("TK_TEST_REGISTRY"), c.value) << c.text;
    }
    ::unsetenv("TK_TEST_REGISTRY");
    EXPECT_EQ(tk::registry_value("TK_TEST_REGISTRY"), 0);
}

TEST(Host, EachStatusMessageReplacesTheWholeLine) {
    tk::Host host;  // not a terminal: only the model of the line changes
    host.columns = 80;
    tk::set_up_status_line(host, " >3<");
    tk::show_status(host, " Reading and processing data ...");
    EXPECT_EQ(tk::significant(host.line), " >3<       Reading and processing data ...");
    tk::show_counter(host, "Case:    100");
    EXPECT_EQ(host.line.substr(0, 42), " >3<       Reading and processing data ...");  // untouched
    EXPECT_EQ(host.line.substr(static_cast<std::size_t>(host.geometry.x14), 14), "Case:    100  ");
    tk::show_status(host, " x");
    EXPECT_EQ(tk::significant(host.line), " >3<       x");
    EXPECT_EQ(host.line.size(), tk::status_buffer_length);
    tk::show_text_without_prefix(host, "  The program has used 1.00 seconds.");
    EXPECT_EQ(tk::significant(host.line), "  The program has used 1.00 seconds.");
}

TEST(ControlFile, TarvelFieldsWidthsAndDeletion) {
    tk_test::TempDir dir;
    const std::string long_name(100, 'n');
    const std::string path = dir.write("tanv~tm0.$$$",
                                       "123 1\n 10 20\n30 40\n" + long_name + "   \n\n  a+b  \nFMT\n{X}\n   \nss,ms\n");
    const tk::TarvelControl c = tk::read_tarvel_control(path);
    EXPECT_FALSE(tk::file_exists(path));
    ASSERT_EQ(c.status, tk::ControlStatus::read) << c.problem;
    EXPECT_EQ(c.window, 123);
    EXPECT_EQ(c.capacity_vc, 40);
    EXPECT_EQ(c.data_file, std::string(100, 'n'));  // the whole field; trailing blanks do not count
    EXPECT_EQ(c.listing_file, "");
    EXPECT_EQ(c.model, "  a+b");  // leading blanks stay, trailing ones go
    EXPECT_EQ(c.missing_values, "");  // an all-blank record is not given
    EXPECT_EQ(c.print_options, "ss,ms");
}

TEST(ControlFile, BadFilesAreReportedAndStillDeleted) {
    tk_test::TempDir dir;
    const struct {
        const char* text;
        const char* problem;
    } cases[] = {
        {"1 1 2 3\n", "ends before its 6 leading integers"},
        {"1 x 2 3 4 5\n", "do not read as integers"},
        {"1 1 2 3 4 5\ndata\nlisting\n", "ends after 2 of its 7 text records"},
        {"", "ends before its 6 leading integers"},
        // A name is never cut: the cut name would be another file.
        {"1 1 2 3 4 5\ndata\n", "the listing file name (record 2) has 101 characters, more than the 100 of its field"},
    };
    for (const auto& c : cases) {
        std::string text = c.text;
        if (std::string(c.problem).find("101") != std::string::npos) text += std::string(101, 'd') + "\n";
        const std::string path = dir.write("tanv~tm0.$$$", text);
        const tk::TarvelControl r = tk::read_tarvel_control(path);
        EXPECT_EQ(r.status, tk::ControlStatus::bad) << c.text;
        EXPECT_NE(r.problem.find(c.problem), std::string::npos) << r.problem;
        EXPECT_FALSE(tk::file_exists(path)) << c.text;
    }
    EXPECT_EQ(tk::read_tarvel_control(dir.file("tanv~tm0.$$$")).status, tk::ControlStatus::absent);
}

TEST(ControlFile, Kirv) {
    tk_test::TempDir dir;
    const std::string path = dir.write("tanv~tm3.$$$", "7 0\r\nKIRV.IN_\r\n\r\n1 1 1 1 1 1 1 1 1 1 1 1\r\n0.5\r\n2\r\n\r\n0.1\r\n");
    const tk::KirvControl c = tk::read_kirv_control(path);
    ASSERT_EQ(c.status, tk::ControlStatus::read) << c.problem;
    EXPECT_EQ(c.listing, 0);
    EXPECT_EQ(c.records[0], "KIRV.IN_");
    EXPECT_EQ(c.records[1], "");
    EXPECT_EQ(c.records[4], "2");
    EXPECT_EQ(c.records[6], "0.1");
    EXPECT_FALSE(tk::file_exists(path));
}

}  // namespace
