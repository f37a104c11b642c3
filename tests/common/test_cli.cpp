// The command-line conventions: strict numbers, parsing with help, version
// and usage errors, same-file checks, and the writer on standard output.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <sstream>

#include "common/cli.hpp"
#include "temp_dir.hpp"

namespace {

TEST(Cli, Reals) {
    const struct {
        const char* text;
        std::optional<double> value;
    } cases[] = {
        {"0.25", 0.25}, {"-1.5e1", -15.0}, {"+.5", 0.5},           {"7.", 7.0},          {"1E-3", 1e-3},
        {"0", 0.0},     {"", {}},          {"0.3x", {}},           {" 1", {}},           {"1 ", {}},
        {"1e", {}},     {"1e+", {}},       {".", {}},              {"-", {}},            {"nan", {}},
        {"inf", {}},    {"0x10", {}},      {"1e999", {}},          {"1,5", {}},          {"--1", {}},
    };
    for (const auto& c : cases) EXPECT_EQ(tk::parse_real(c.text), c.value) << '"' << c.text << '"';
}

TEST(Cli, WholeNumbers) {
    const struct {
        const char* text;
        std::optional<int> value;
    } cases[] = {
        {"2", 2},       {"+7", 7},         {"-2", -2},    {"0", 0},   {"2147483647", 2147483647},
        {"2147483648", {}}, {"2.5", {}},   {"1e1", {}},   {"x", {}},  {"", {}},
        {"+", {}},      {" 2", {}},        {"2 ", {}},    {"0x1", {}},
    };
    for (const auto& c : cases) EXPECT_EQ(tk::parse_whole_number(c.text), c.value) << '"' << c.text << '"';
}

TEST(Cli, ListItems) {
    using Items = std::vector<std::string>;
    const struct {
        const char* text;
        Items items;
    } cases[] = {
        {"ms, ss/vc", {"ms", "ss", "vc"}},
        {"  -9\t-99 ,,", {"-9", "-99"}},
        {"", {}},
        {" , / ", {}},
        {"kirv", {"kirv"}},
    };
    for (const auto& c : cases) EXPECT_EQ(tk::list_items(c.text), c.items) << '"' << c.text << '"';
}

// A parser with one required positional and one option, as the programs build theirs.
struct Parsed {
    tk::ParseOutcome outcome;
    std::string out, err, data, level;
};

Parsed parse(const std::vector<std::string>& args) {
    CLI::App app{"demo: a test program", "demo"};
    tk::add_version_flag(app, "demo 2.0");
    Parsed p;
    app.add_option("DATA", p.data, "data file")->required();
    app.add_option("--level", p.level, "a level");
    std::ostringstream out, err;
    p.outcome = tk::parse_arguments(app, args, out, err);
    p.out = out.str();
    p.err = err.str();
    return p;
}

TEST(Cli, ParseArguments) {
    const Parsed good = parse({"d.kin", "--level", "3"});
    EXPECT_TRUE(good.outcome.proceed);
    EXPECT_EQ(good.data, "d.kin");  // the arguments keep their order
    EXPECT_EQ(good.level, "3");
    EXPECT_EQ(good.out + good.err, "");

    const Parsed help = parse({"--help"});
    EXPECT_FALSE(help.outcome.proceed);
    EXPECT_EQ(help.outcome.exit_status, tk::exit_completed);
    EXPECT_NE(help.out.find("Usage: demo"), std::string::npos) << help.out;
    EXPECT_EQ(help.err, "");

    const Parsed version = parse({"--version"});
    EXPECT_FALSE(version.outcome.proceed);
    EXPECT_EQ(version.outcome.exit_status, tk::exit_completed);
    EXPECT_EQ(version.out, "demo 2.0\n");

    for (const std::vector<std::string>& args : {std::vector<std::string>{}, {"a", "b"}, {"a", "--bogus"}}) {
        const Parsed bad = parse(args);
        EXPECT_FALSE(bad.outcome.proceed);
        EXPECT_EQ(bad.outcome.exit_status, tk::exit_usage);
        EXPECT_EQ(bad.out, "");
        EXPECT_EQ(bad.err.rfind("Error Message: ", 0), 0u) << bad.err;
        EXPECT_NE(bad.err.find("\nRun 'demo --help' for the options.\n"), std::string::npos) << bad.err;
    }
}

TEST(Cli, SameFile) {
    tk_test::TempDir dir;
    const std::string a = dir.write("a", "x"), b = dir.write("b", "x");
    std::filesystem::create_symlink(a, dir.path / "link");
    const struct {
        std::string first, second;
        bool same;
    } cases[] = {
        {a, a, true},
        {a, (dir.path / "." / "a").string(), true},
        {a, dir.file("link"), true},
        {a, b, false},
        {dir.file("new"), (dir.path / "sub" / ".." / "new").string(), true},  // neither exists yet
        {dir.file("new"), dir.file("other"), false},
        {"tk-no-such-file.out", "./tk-no-such-file.out", true},  // relative, no part of either exists
        {"-", "-", false},
        {a, "-", false},
    };
    for (const auto& c : cases) EXPECT_EQ(tk::same_file(c.first, c.second), c.same) << c.first << " " << c.second;
}

// Standard output redirected to a file for the time of one test.
struct CapturedStdout {
    int saved = -1;
    explicit CapturedStdout(const std::string& file) {
        std::fflush(stdout);
        saved = ::dup(STDOUT_FILENO);
        const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(fd, STDOUT_FILENO);
        ::close(fd);
    }
    ~CapturedStdout() {
        std::fflush(stdout);
        ::dup2(saved, STDOUT_FILENO);
        ::close(saved);
    }
};

TEST(Cli, OutputOnStandardOutput) {
    tk_test::TempDir dir;
    {
        CapturedStdout captured(dir.file("stdout"));
        tk::TextWriter out;
        ASSERT_TRUE(tk::open_output(out, "-", /*atomic=*/true));
        EXPECT_EQ(out.name(), "-");
        out.put_record("first");
        EXPECT_TRUE(out.close());
        std::fputs("after\n", stdout);  // the stream stays open for the process
        tk::TextWriter discarded;
        ASSERT_TRUE(tk::open_output(discarded, "-", false));
        discarded.put_record("sent");
        discarded.discard();  // what went out stays out
    }
    EXPECT_EQ(dir.read("stdout"), "first\r\nafter\nsent\r\n");

    tk::TextWriter file;
    ASSERT_TRUE(tk::open_output(file, dir.file("f"), /*atomic=*/true));
    file.put_record("x");
    EXPECT_FALSE(std::filesystem::exists(dir.path / "f"));  // only the temporary file so far
    EXPECT_TRUE(file.close());
    EXPECT_EQ(dir.read("f"), "x\r\n");
}

}  // namespace
