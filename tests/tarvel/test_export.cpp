// The export file: header records, the expected-mean-square block with its
// built formats, the degrees of freedom and the sums-of-squares block.
#include <gtest/gtest.h>

#include "tarvel/export.hpp"
#include "tests/common/temp_dir.hpp"
#include "tests/tarvel/tarvel_run_support.hpp"

namespace {

using Records = std::vector<std::string>;

// The records that `write` puts into a fresh file.
template <typename Write>
Records written(Write write) {
    tk_test::TempDir dir;
    tk::TextWriter out;
    out.open(dir.file("KIRV.IN_"));
    write(out);
    out.close();
    return tarvel_test::records_of(dir.read("KIRV.IN_"));
}

const std::string blanks16(16, ' ');
const std::string one = "  1.0000000    ";  // 1.0 in G15.8

TEST(Export, Header) {
    const Records r =
        written([](tk::TextWriter& out) { tarvel::write_export_header(out, "{Body wt} and {HEIGHT}   "); });
    EXPECT_EQ(r, (Records{"//RELATIVE_ID        = 0.25", "//GENOTYPIC_GROUP_ID = 2", "//BENDING_ID         = 0",
                          "//REFERENCE_ID       = 0", "//MINIMUM_EIGEN      = 0.00", " ", "{Body wt} and {HEIGHT}",
                          " "}));
}

TEST(Export, BuiltRowFormats) {
    EXPECT_EQ(tarvel::export_ems_row_format(0, 2), "(  3         (g15.8,1x))");
    EXPECT_EQ(tarvel::export_ems_row_format(1, 2), "(  1         (a16),  2         (g15.8,1x))");
    EXPECT_EQ(tarvel::export_residual_row_format(2), "(  2         (a16),f11.7)");
    EXPECT_LE(tarvel::export_ems_row_format(5, 9).size(), 50u);
}

// Two effects and one trait: E(1,1), E(1,2), 1.0; then 16 blanks, E(2,2), 1.0;
// then 32 blanks, two blanks and 1.0000000.
TEST(Export, TwoEffectsOneTrait) {
    const std::vector<double> ems = {3.1, 0.5, 0.0, 2.0};
    const Records r = written([&](tk::TextWriter& out) {
        tarvel::write_export_ems_block(out, ems, 2);
        tarvel::write_export_degrees_of_freedom(out, std::vector<int>{2, 1, 7});
        tarvel::write_export_sums_of_squares(out, std::vector<float>{12.5f, 3.0f, 0.125f}, 3, 1);
    });
    EXPECT_EQ(r, (Records{
                     "EMS / UP",
                     "  3.1000000    " + std::string(" ") + " 0.50000000    " + " " + one,
                     blanks16 + "  2.0000000     " + one,
                     blanks16 + blanks16 + "  1.0000000",
                     " ",
                     "DF =         2        1        7",
                     " ",
                     "SS / LOW",
                     "  12.500000    ",
                     "  3.0000000    ",
                     " 0.12500000    ",
                     " ",
                 }));
}

TEST(Export, OneEffect) {
    const Records r =
        written([](tk::TextWriter& out) { tarvel::write_export_ems_block(out, std::vector<double>{5.0}, 1); });
    EXPECT_EQ(r, (Records{"EMS / UP", "  5.0000000     " + one, blanks16 + "  1.0000000", " "}));
}

// Three traits: each source gives records of one, two and three values, the
// row of its lower triangle; every value but the last is followed by a blank.
TEST(Export, ThreeTraits) {
    const int sources = 2, t = 3;
    std::vector<float> table(static_cast<std::size_t>(sources * t * t));
    for (int k = 0; k < sources; ++k)
        for (int i = 0; i < t; ++i)
            for (int j = 0; j < t; ++j)
                table[tarvel::trait_matrix_index(k, i, j, sources, t)] =
                    static_cast<float>(100 * (k + 1) + 10 * (i + 1) + (j + 1));
    const Records r =
        written([&](tk::TextWriter& out) { tarvel::write_export_sums_of_squares(out, table, sources, t); });
    ASSERT_EQ(r.size(), 1u + sources * t + 1u);
    EXPECT_EQ(r[0], "SS / LOW");
    EXPECT_EQ(r[1], "  111.00000    ");
    EXPECT_EQ(r[2], "  121.00000       122.00000    ");
    EXPECT_EQ(r[3], "  131.00000       132.00000       133.00000    ");
    EXPECT_EQ(r[4], "  211.00000    ");
    EXPECT_EQ(r[6], "  231.00000       232.00000       233.00000    ");
    EXPECT_EQ(r[7], " ");
}

// More than 100 degrees of freedom: a new record after every 100, without "DF = ".
TEST(Export, LongDegreesOfFreedomRecord) {
    std::vector<int> df(205);
    for (std::size_t i = 0; i < df.size(); ++i) df[i] = static_cast<int>(i + 1);
    const Records r = written([&](tk::TextWriter& out) { tarvel::write_export_degrees_of_freedom(out, df); });
    ASSERT_EQ(r.size(), 4u);
    EXPECT_EQ(r[0].size(), 5u + 100 * 9);
    EXPECT_EQ(r[0].substr(0, 14), "DF =         1");
    EXPECT_EQ(r[1].size(), 100u * 9);
    EXPECT_EQ(r[1].substr(0, 9), "      101");
    EXPECT_EQ(r[2], "      201      202      203      204      205");
    EXPECT_EQ(r[3], " ");
}

}  // namespace
