// Names shortened for the fixed fields of a listing: cut as before where no
// two cuts look alike, told apart where they would.
#include <gtest/gtest.h>

#include "common/names.hpp"

namespace {

using Names = std::vector<std::string>;

TEST(Names, ShortenedWithoutLookingAlike) {
    const struct {
        Names names;
        std::size_t width;
        Names shown;
    } cases[] = {
        {{"weaning_wt", "weaning_age", "fat"}, 8, {"wean~_wt", "wean~age", "fat"}},
        {{"WWT             ", "HEIGHT", "BFAT"}, 8, {"WWT", "HEIGHT", "BFAT"}},           // padded names
        {{"birth_weight", "weaning_weight"}, 8, {"birth_we", "weaning_"}},                // no two cuts alike
        {{"weaning_", "weaning_wt"}, 8, {"weaning_", "wean~_wt"}},                        // the one that fits stays
        {{"weaning_a_wt", "weaning_b_wt"}, 8, {"weanin~1", "weanin~2"}},                  // alike even so: numbered
        {{"same_long_name", "same_long_name"}, 8, {"same_lon", "same_lon"}},              // one name twice
        {{"A*B*C*D*E*F*G*H*I", "A*B*C*D*E*F*G*H*J"}, 16, {"A*B*C*D*~F*G*H*I", "A*B*C*D*~F*G*H*J"}},
    };
    for (const auto& c : cases) EXPECT_EQ(tk::distinct_names(c.names, c.width), c.shown) << c.names[0];
    EXPECT_EQ(tk::nearest_name(Names{"sire", "dam", "flock"}, "Sir"), "sire");
}

}  // namespace
