// The driver's own rules: the time note, the host capacities, and a whole main
// routine with a known running time.
#include <gtest/gtest.h>

#include "common/tokenizer.hpp"
#include "tarvel/driver.hpp"
#include "tests/common/temp_dir.hpp"
#include "tests/tarvel/tarvel_run_support.hpp"

namespace {

TEST(Driver, TimeTexts) {
    const struct {
        double seconds;
        const char* note;
        const char* status;
    } cases[] = {
        {42.5, "Note: The program has used 42.50 seconds of time.", "  The program has used 42.50 seconds."},
        {0.0, "Note: The program has used 0.00 seconds of time.", "  The program has used 0.00 seconds."},
        {3599.99, "Note: The program has used 3599.99 seconds of time.", "  The program has used 3599.99 seconds."},
        {3600.0, "Note: The program has used 1.00 hours of time.", "  The program has used 1.00 hours."},
        {5400.0, "Note: The program has used 1.50 hours of time.", "  The program has used 1.50 hours."},
    };
    for (const auto& c : cases) {
        const tarvel::TimeTexts t = tarvel::time_texts(c.seconds);
        EXPECT_EQ(t.note, c.note);
        EXPECT_EQ(t.status, c.status);
    }
}

TEST(Driver, HostCapacities) {
    const auto arrays = [](std::int32_t df, std::int32_t ss, std::int32_t ems, std::int32_t vc) {
        return tarvel::HostArrays{df, ss, ems, vc, {}, {}, {}, {}};
    };
    // 3 effects, 2 traits: DF 4, SS and VC 12, EMS 9.
    EXPECT_EQ(tarvel::host_capacity_problem(arrays(4, 12, 9, 12), 3, 2), std::nullopt);
    EXPECT_EQ(tarvel::host_capacity_problem(arrays(4, 11, 9, 12), 3, 2),
              "* * The dimension of SS array is too small! * *");
    // One effect, one trait: (1+1)(1+1)1/2 = 2.
    EXPECT_EQ(tarvel::host_capacity_problem(arrays(2, 2, 1, 2), 1, 1), std::nullopt);
    EXPECT_EQ(tarvel::host_capacity_problem(arrays(2, 2, 1, 1), 1, 1),
              "* * The dimension of VC array is too small! * *");
}

// A run with a listing and a fixed running time of 42.5 seconds: the note
// closes the listing, the status line shows the time without the prefix.
TEST(Driver, MainRoutineWritesTheTimeNote) {
    tk_test::TempDir dir;
    tarvel::RunParameters run;
    run.listing_switch = 1;
    run.data_file = dir.write("data.txt", "MOD=A\n{Y}\n1 2.5\n2 3.5\n");
    run.listing_file = dir.file("out.lst");
    tarvel::HostArrays arrays;
    tk::Host host;
    EXPECT_EQ(tarvel::main_routine(host, run, arrays, 42.5), 0);
    const auto listing = tarvel_test::records_of(dir.read("out.lst"));
    ASSERT_GT(listing.size(), 4u);
    // three blank records, then the note, close the listing
    for (std::size_t k = listing.size() - 4; k + 1 < listing.size(); ++k) EXPECT_EQ(listing[k], " ");
    EXPECT_EQ(listing.back(), " Note: The program has used 42.50 seconds of time.");
    EXPECT_EQ(tk::significant(host.line), "  The program has used 42.50 seconds.");
}

TEST(Driver, MainRoutineErrorPath) {
    tk_test::TempDir dir;
    tarvel::RunParameters run;
    run.listing_switch = 1;
    run.data_file = dir.write("data.txt", "{Y}\n1 2.5\n");
    run.listing_file = dir.file("out.lst");
    tarvel::HostArrays arrays;
    tk::Host host;
    EXPECT_EQ(tarvel::main_routine(host, run, arrays, 1.0), tarvel::error_code_specification);
    EXPECT_EQ(tk::significant(host.line), std::string(10, ' ') + " Error found, program terminated abnormally");
    EXPECT_FALSE(std::filesystem::exists(dir.path / "out.lst"));  // a failed run leaves no listing
}

}  // namespace
