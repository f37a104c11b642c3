// The passes over the case scratch file: the sums do not depend on the number
// of threads (every sum receives its cases in file order), and a file that
// does not hold exactly the accepted cases stops the run.
#include "tarvel/absorption.hpp"
#include "tarvel/case_passes.hpp"
#include "tarvel/cases.hpp"
#include "tarvel/run_error.hpp"
#include "tests/tarvel/pipeline.hpp"

#include <gtest/gtest.h>

#include <random>

namespace {

// Herd, sire, dam within sire: 150,000 cases, three chunks.
struct ScratchCases {
    tk::ScratchFile file;
    tarvel::ScratchShape shape{3, 2, 0};
    std::vector<int> largest{40, 30, 5};
    tarvel::Model model = tarvel_test::make_model({{"A", "A"}, {"B", "B"}, {"C|B", "BC"}});

    explicit ScratchCases(int count, int written) {
        EXPECT_TRUE(file.open());
        std::mt19937 rng(9);
        tarvel::ScratchRecord record = tarvel::make_scratch_record(shape.factors, shape.traits);
        std::normal_distribution<float> y(100.0f, 15.0f);
        for (int k = 0; k < written; ++k) {
            for (int g = 0; g < 3; ++g) record.levels[static_cast<std::size_t>(g)] = 1 + static_cast<int>(rng() % 40) % largest[static_cast<std::size_t>(g)];
            record.traits = {y(rng), y(rng) * 0.01f};
            tarvel::write_scratch_record(file, record);
        }
        file.rewind();
        shape.cases = count;
    }
};

struct Sums {
    tarvel::NormalEquations eq;
    tarvel::LevelSums levels;
};

Sums accumulate(ScratchCases& cases, int threads, bool absorbed) {
    tk::Host host;
    tarvel::ColumnLayout layout = tarvel::setup_columns(cases.model, cases.largest);
    tarvel::mark_columns(layout, cases.file, cases.shape, threads);
    tarvel::compact_columns(layout);
    Sums sums;
    if (!absorbed) {
        sums.eq = tarvel::accumulate_equations(layout, cases.file, cases.shape, 0, nullptr, threads, host);
        return sums;
    }
    sums.levels = tarvel::start_level_sums(layout, 2, cases.shape.traits, threads);
    sums.eq = tarvel::accumulate_equations(layout, cases.file, cases.shape, sums.levels.first_column, &sums.levels,
                                           threads, host);
    tarvel::finish_level_sums(sums.levels);
    return sums;
}

TEST(CasePasses, SumsDoNotDependOnTheThreads) {
    ScratchCases cases(150000, 150000);
    for (bool absorbed : {false, true}) {
        const Sums one = accumulate(cases, 1, absorbed);
        EXPECT_EQ(one.eq.cases, 150000);
        for (int threads : {2, 3, 4}) {
            SCOPED_TRACE(std::to_string(threads) + (absorbed ? " threads, absorbed" : " threads, dense"));
            const Sums many = accumulate(cases, threads, absorbed);
            EXPECT_EQ(many.eq.a.v, one.eq.a.v);  // exactly: same additions in the same order
            EXPECT_EQ(many.eq.rhs, one.eq.rhs);
            EXPECT_EQ(many.eq.yy, one.eq.yy);
            EXPECT_EQ(many.levels.cases, one.levels.cases);
            EXPECT_EQ(many.levels.y, one.levels.y);
            EXPECT_EQ(many.levels.start, one.levels.start);
            EXPECT_EQ(many.levels.column, one.levels.column);
            EXPECT_EQ(many.levels.count, one.levels.count);
        }
    }
}

TEST(CasePasses, AFileThatDoesNotHoldTheAcceptedCasesStopsTheRun) {
    struct Row {
        int accepted, written;
        const char* message;
    };
    const Row rows[] = {
        {1000, 999, "The case scratch file holds 19980 bytes where the 1000 accepted cases take 20000: "
                    "it did not keep what was written (is the disk full?)."},
        {1000, 1001, "The case scratch file holds 20020 bytes where the 1000 accepted cases take 20000: "
                     "it did not keep what was written (is the disk full?)."},
        {1000, 1000, ""},
    };
    for (const Row& row : rows) {
        ScratchCases cases(row.accepted, row.written);
        std::string message;
        try {
            accumulate(cases, 2, false);
        } catch (const tarvel::RunError& error) {
            message = error.what();
        }
        EXPECT_EQ(message, row.message);
    }
}

}  // namespace
