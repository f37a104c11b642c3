// Whole runs of the tarvel executable in a fresh directory.
#include <gtest/gtest.h>

#include "tests/tarvel/tarvel_run_support.hpp"

namespace {

using tarvel_test::ControlFile;
using tarvel_test::RunResult;
using tarvel_test::TarvelRun;
using Names = std::vector<std::string>;

// Three effects (A, B within A, C), two traits.
const char* const two_trait_data =
    "Test data\r\n"
    "MOD = a + b|a + c\r\n"
    "Traits: {Weight} {Height}\r\n"
    "1 1 1 10.5 3.0\r\n"
    "1 2 2 11.0 3.5\r\n"
    "2 1 1 12.5 4.0\r\n"
    "2 2 2 13.0 4.5\r\n";

TEST(TarvelRun, WithoutAControlFileEndsSayingWhatItExpected) {
    TarvelRun run;
    run.write("data.txt", two_trait_data);
    const RunResult r = run.run_without_control();
    EXPECT_EQ(r.exit_status, 0);
    EXPECT_EQ(r.standard_error, "tarvel: no control file tanv~tm0.$$$ in the current directory, so nothing to do; "
                                "run 'tarvel --help' for the command line.\n");
    EXPECT_EQ(run.files(), Names{"data.txt"});
}

TEST(TarvelRun, BadControlFileShowsABoxNamingIt) {
    for (const char* control : {"0 1 10 10\r\n", "0 one 10 10 10 10\r\ndata.txt\r\n", "0 1 10 10 10 10\r\ndata.txt\r\n"}) {
        TarvelRun run;
        run.write("data.txt", two_trait_data);
        run.write(tarvel_test::control_file, control);
        const RunResult r = run.run_without_control();
        EXPECT_EQ(r.exit_status, 0) << control;
        ASSERT_EQ(r.boxes().size(), 1u) << control;
        EXPECT_NE(r.boxes()[0].find("control file \"tanv~tm0.$$$\""), std::string::npos) << r.boxes()[0];
        EXPECT_EQ(run.files(), Names{"data.txt"}) << control;  // the control file is deleted, nothing written
    }
}

TEST(TarvelRun, MissingDataFile) {
    TarvelRun run;
    const RunResult r = run.run(ControlFile{});
    EXPECT_EQ(r.exit_status, 0);
    EXPECT_EQ(r.boxes(), Names{"Cannot find the data file for TARVEL module! There is no file 'data.txt'."});
    EXPECT_EQ(run.files(), Names{});
}

TEST(TarvelRun, WithAListing) {
    TarvelRun run;
    run.write("data.txt", two_trait_data);
    ControlFile control;
    control.capacity_df = 3;
    control.capacity_ss = 0;
    control.capacity_ems = 2;
    control.capacity_vc = 1;
    const RunResult r = run.run(control);
    EXPECT_EQ(r.exit_status, 0);
    EXPECT_EQ(r.standard_error, "");
    EXPECT_EQ(run.files(), (Names{"data.txt", "tanv~tm1.$$$", "tarvel.lst"}));
    const auto listing = run.records("tarvel.lst");
    ASSERT_GT(listing.size(), 4u);
    const std::size_t end = listing.size();
    EXPECT_EQ(listing[end - 4], " ");
    EXPECT_EQ(listing[end - 2], " ");
    EXPECT_EQ(listing[end - 1].rfind(" Note: The program has used ", 0), 0u) << listing[end - 1];
    EXPECT_NE(listing[end - 1].find(" seconds of time."), std::string::npos);
    // The four host arrays in the order DF, EMS, SS, VC, at their capacities.
    const auto results = run.records(tarvel_test::results_file);
    ASSERT_EQ(results.size(), 4u);
    EXPECT_EQ(tarvel_test::numbers_of(results[0]).size(), 3u);
    EXPECT_EQ(tarvel_test::numbers_of(results[1]).size(), 2u);
    EXPECT_EQ(tarvel_test::numbers_of(results[2]).size(), 0u);
    EXPECT_EQ(tarvel_test::numbers_of(results[3]).size(), 1u);
}

TEST(TarvelRun, ListingNameFromTheControlFile) {
    TarvelRun run;
    run.write("data.txt", two_trait_data);
    ControlFile control;
    control.listing_file = "mine.out";
    EXPECT_EQ(run.run(control).exit_status, 0);
    EXPECT_EQ(run.files(), (Names{"data.txt", "mine.out", "tanv~tm1.$$$"}));
}

TEST(TarvelRun, ListingThatIsTheDataFileIsRefused) {
    TarvelRun run;
    run.write("data.txt", two_trait_data);
    ControlFile control;
    control.listing_file = "./data.txt";
    const RunResult r = run.run(control);
    EXPECT_EQ(r.exit_status, 0);
    EXPECT_EQ(r.boxes(), (Names{"The listing file './data.txt' is the data file; give the listing another name.",
                                "Error in running TARVEL module!"}));
    EXPECT_EQ(run.read("data.txt"), two_trait_data);
}

TEST(TarvelRun, WithoutAListing) {
    TarvelRun run;
    run.write("data.txt", two_trait_data);
    ControlFile control;
    control.listing = 0;
    const RunResult r = run.run(control);
    EXPECT_EQ(r.exit_status, 0);
    EXPECT_EQ(run.files(), (Names{"data.txt", "tanv~tm1.$$$", "tanv~tm2.$$$"}));
}

// 3 effects and 2 traits: DF needs 4, SS and VC (2+1)(3+1)2/2 = 12, EMS 9.
TEST(TarvelRun, HostCapacities) {
    const struct {
        int df, ss, ems, vc;
        const char* box;
    } cases[] = {
        {4, 12, 9, 12, nullptr},
        {3, 12, 9, 12, "* * The dimension of DF array is too small! * *"},
        {4, 11, 9, 12, "* * The dimension of SS array is too small! * *"},
        {4, 12, 9, 11, "* * The dimension of VC array is too small! * *"},
        {4, 12, 8, 12, "* * The dimension of EMS array is too small! * *"},
        {0, 0, 0, 0, "* * The dimension of DF array is too small! * *"},  // checked in the order DF, SS, VC, EMS
        {-5, 12, 9, 12, "* * The dimension of DF array is too small! * *"},
    };
    for (const auto& c : cases) {
        TarvelRun run;
        run.write("data.txt", two_trait_data);
        ControlFile control;
        control.listing = 0;
        control.capacity_df = c.df;
        control.capacity_ss = c.ss;
        control.capacity_ems = c.ems;
        control.capacity_vc = c.vc;
        const RunResult r = run.run(control);
        if (!c.box) {
            EXPECT_EQ(r.exit_status, 0);
            EXPECT_TRUE(run.exists(tarvel_test::results_file));
            continue;
        }
        EXPECT_EQ(r.exit_status, 255) << c.box;
        EXPECT_EQ(r.boxes(), Names{c.box});
        EXPECT_EQ(run.files(), Names{"data.txt"}) << c.box;  // no results, no records file
    }
}

TEST(TarvelRun, CapacitiesAreNotCheckedWithAListing) {
    TarvelRun run;
    run.write("data.txt", two_trait_data);
    ControlFile control;
    control.capacity_df = control.capacity_ss = control.capacity_ems = control.capacity_vc = 0;
    EXPECT_EQ(run.run(control).exit_status, 0);
}

// Every specification error: its box, then the module's box; no results file,
// no export file, an empty listing.
TEST(TarvelRun, SpecificationErrors) {
    const struct {
        const char* data;
        const char* model;
        const char* traits;
        const char* box;
    } cases[] = {
        {"{Y}\n1 2\n", "", "", "No model specified!"},
        {"MOD=1+2\n{Y}\n1 2\n", "", "", "Invalid model specified!"},
        {"MOD=A\n1 2\n", "", "", "No trait specified!"},
        {"MOD=A\n{Y\n1 2\n", "", "", "Traits expression error!"},
        {"{Y}\n1 2\n", "a++b", "", "Invalid model specified! Term 2 is empty (model 'A++B')."},
        {"MOD=A\n1 2\n", "", "weight", "No trait specified! The trait text 'weight' holds no name in braces."},
        {"MOD=A\nPRI=KIRV\n{Y}\n-1 2\n", "", "", "No case accepted! The data file 'data.txt' holds no case (no line after the head begins with a digit)."},
        {"MOD=A\nMIS=-9,x\n{Y}\n1 2\n", "", "", "Invalid missing values! The item 'X' of the missing values 'MIS=-9,X' is not a number."},
        {"MOD=A\nFMT=(F3.0\n{Y}\n1 2\n", "", "", "Invalid data format! The data format '(F3.0' cannot be used: format (F3.0: parentheses are not balanced."},
        {"MOD=A\n{Y}\n40000 2\n", "", "", "Factor level too large! Factor A of case 1 (line 3) has the code 40000; levels go from 1 to 32767."},
    };
    for (const auto& c : cases) {
        TarvelRun run;
        run.write("data.txt", c.data);
        ControlFile control;
        control.model = c.model;
        control.traits = c.traits;
        const RunResult r = run.run(control);
        EXPECT_EQ(r.exit_status, 0) << c.box;
        EXPECT_EQ(r.boxes(), (Names{c.box, "Error in running TARVEL module!"}));
        EXPECT_EQ(run.files(), (Names{"data.txt"})) << c.box;  // the listing appears complete or not at all
    }
}

// A failed run leaves no results of an earlier run under the names the host
// reads; an earlier export file stays (it is only rewritten with KIRV).
TEST(TarvelRun, AFailedRunRemovesEarlierResultsFiles) {
    const struct {
        const char* what;
        const char* control;  // nullptr: the standard control file
        const char* data;
        int listing;
        int capacity_df;
    } cases[] = {
        {"bad control file", "0 one 10 10 10 10\r\ndata.txt\r\n", two_trait_data, 1, 100},
        {"missing data file", nullptr, nullptr, 1, 100},
        {"input error", nullptr, "MOD=1+2\n{Y}\n1 2\n", 0, 100},
        {"host capacity", nullptr, two_trait_data, 0, 1},
    };
    for (const auto& c : cases) {
        TarvelRun run;
        if (c.data) run.write("data.txt", c.data);
        run.write(tarvel_test::results_file, "earlier\r\n");
        run.write(tarvel_test::no_listing_file, "earlier\r\n");
        run.write(tarvel_test::export_file, "earlier\r\n");
        RunResult r;
        if (c.control) {
            run.write(tarvel_test::control_file, c.control);
            r = run.run_without_control();
        } else {
            ControlFile control;
            control.listing = c.listing;
            control.capacity_df = c.capacity_df;
            r = run.run(control);
        }
        EXPECT_FALSE(r.boxes().empty()) << c.what;
        EXPECT_FALSE(run.exists(tarvel_test::results_file)) << c.what;
        EXPECT_FALSE(run.exists(tarvel_test::no_listing_file)) << c.what;
        EXPECT_EQ(run.read(tarvel_test::export_file), "earlier\r\n") << c.what;
    }
}

TEST(TarvelRun, ExportHeaderWithKirv) {
    TarvelRun run;
    run.write("data.txt", two_trait_data);
    ControlFile control;
    control.print_options = "kirv";
    EXPECT_EQ(run.run(control).exit_status, 0);
    const auto records = run.records(tarvel_test::export_file);
    ASSERT_GE(records.size(), 8u);
    EXPECT_EQ(records[0], "//RELATIVE_ID        = 0.25");
    EXPECT_EQ(records[6], "{Weight} {Height}");  // the trait line from its first "{"
}

TEST(TarvelRun, ExportFileIsOverwrittenOnlyWithKirv) {
    TarvelRun run;
    run.write("data.txt", two_trait_data);
    run.write(tarvel_test::export_file, "earlier\r\n");
    ControlFile control;
    EXPECT_EQ(run.run(control).exit_status, 0);
    EXPECT_EQ(run.read(tarvel_test::export_file), "earlier\r\n");
    control.print_options = "KIRV";
    control.traits = "{A} {B}";
    EXPECT_EQ(run.run(control).exit_status, 0);
    EXPECT_EQ(run.records(tarvel_test::export_file)[6], "{A} {B}");
}

TEST(TarvelRun, LineEndsLfAndCrLfGiveTheSameRun) {
    std::string lf = two_trait_data;
    std::erase(lf, '\r');
    TarvelRun crlf_run, lf_run;
    crlf_run.write("data.txt", two_trait_data);
    lf_run.write("data.txt", lf);
    ControlFile control;
    control.print_options = "KIRV";
    EXPECT_EQ(crlf_run.run(control).exit_status, 0);
    EXPECT_EQ(lf_run.run(control).exit_status, 0);
    EXPECT_EQ(crlf_run.read(tarvel_test::export_file), lf_run.read(tarvel_test::export_file));
}

}  // namespace
