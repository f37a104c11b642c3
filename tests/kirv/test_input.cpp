#include "kirv/input.hpp"

#include "../common/temp_dir.hpp"
#include "common/tokenizer.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

using kirv::RunError;

// A data file in a fresh directory, open for reading.
struct DataFile {
    tk_test::TempDir dir;
    tk::TextReader reader;
    explicit DataFile(const std::string& text) { EXPECT_TRUE(reader.open(dir.write("data.kin", text))); }
};

std::string lines(const std::vector<std::string>& records) {
    std::string text;
    for (const std::string& r : records) text += r + "\n";
    return text;
}

std::string repeated(const std::string& record, int count) {
    std::string text;
    for (int i = 0; i < count; ++i) text += record + "\n";
    return text;
}

// The status and message of the RunError that f raises (0 and "" if none).
std::pair<int, std::string> error_of(const std::function<void()>& f) {
    try {
        f();
    } catch (const RunError& e) {
        return {e.status, e.what()};
    }
    return {0, ""};
}

// ------------------------------------------------------------ searches

TEST(KeywordSearch, FindsTheLineStartInEitherCase) {
    const struct {
        const char* name;
        std::string text;
        const char* keyword;
        bool found;
        std::string value;  // text after "=", trailing blanks ignored
    } cases[] = {
        {"plain", "title\nREL = 0.3\n", "REL", true, " 0.3"},
        {"small letters", "df = 1 1 1 5\n", "DF", true, " 1 1 1 5"},
        {"mixed case and indent", "   rEl=0.3\n", "REL", true, "0.3"},
        {"longer word", "RELATIVE_ID = 0.3\n", "REL", true, " 0.3"},
        {"without =", "REL 0.3\n", "REL", true, "REL 0.3"},
        {"commented", "//RELATIVE_ID        = 0.25\n", "REL", false, ""},
        {"not at the start", "X REL = 0.3\n", "REL", false, ""},
        {"first of two", "GEN = 1\nGEN = 2\n", "GEN", true, " 1"},
        {"99 lines before", repeated("x", 99) + "REL = 0.5\n", "REL", true, " 0.5"},
        {"101st non-blank line", repeated("x", 100) + "REL = 0.5\n", "REL", false, ""},
        {"blank lines do not count", repeated("x", 99) + repeated("   ", 20) + "REL = 0.5\n", "REL", true, " 0.5"},
        {"empty file", "", "REL", false, ""},
    };
    for (const auto& c : cases) {
        DataFile f(c.text);
        const std::optional<std::string> line = kirv::find_keyword(f.reader, c.keyword);
        ASSERT_EQ(line.has_value(), c.found) << c.name;
        if (c.found) {
            EXPECT_EQ(tk::significant(*line), c.value) << c.name;
        }
        // Rewound: the next read starts at the first record.
        std::string first;
        if (!c.text.empty()) {
            ASSERT_TRUE(f.reader.read_record(first)) << c.name;
            EXPECT_EQ(first + "\n", c.text.substr(0, first.size() + 1)) << c.name;
        }
    }
}

TEST(BraceSearch, LineFromTheFirstBrace) {
    DataFile f("REL = 0.25\nTraits {WT} {BF}\n{X}\n");
    EXPECT_EQ(kirv::find_brace_line(f.reader), "{WT} {BF}");
    DataFile late(repeated("x", 100) + "{WT}\n");
    EXPECT_FALSE(kirv::find_brace_line(late.reader).has_value());
    DataFile none("DF = 1 2\n");
    EXPECT_FALSE(kirv::find_brace_line(none.reader).has_value());
}

// ------------------------------------------------------------ traits and print flags

TEST(TraitNames, BracedNamesPaddedTo16AndLongerOnesKeptWhole) {
    using Names = std::vector<std::string>;
    const struct {
        const char* line;
        Names names;
    } cases[] = {
        {"{WT} {BF}{LONGER_THAN_16_CHARS}", {"WT", "BF", "LONGER_THAN_16_CHARS"}},
        {"{WT} text between {BF} after", {"WT", "BF"}},
        {"{}{A}", {"", "A"}},
        {"{ spaced name }", {" spaced name"}},
    };
    for (const auto& c : cases) {
        const Names names = kirv::parse_trait_names(c.line);
        ASSERT_EQ(names.size(), c.names.size()) << c.line;
        for (std::size_t i = 0; i < names.size(); ++i) {
            EXPECT_EQ(names[i].size(), std::max<std::size_t>(16, c.names[i].size())) << c.line;
            EXPECT_EQ(tk::significant(names[i]), c.names[i]) << c.line;
        }
    }
    EXPECT_EQ(error_of([] { kirv::parse_trait_names("{WT} {BF"); }),
              std::make_pair(kirv::status_bad_traits, std::string("Error in trait expression!")));
}

TEST(TraitNames, MoreThanTheListingTemplatesHold) {
    std::string line;
    for (int i = 0; i < 1001; ++i) line += "{T}";
    const auto [status, message] = error_of([&] { kirv::parse_trait_names(line); });
    EXPECT_EQ(status, kirv::status_too_many_traits);
    EXPECT_EQ(message, "Too many traits: at most 1000 are allowed!");
    line.resize(3000);
    EXPECT_EQ(kirv::parse_trait_names(line).size(), 1000u);
}

TEST(PrintFlags, ItemsSetTheirFlags) {
    // Flags written 1-based as in the table of print items.
    const struct {
        const char* value;
        std::vector<int> set;
    } cases[] = {
        {" vcgg, h2g", {2, 6}},
        {" ", {}},
        {"", {}},
        {" BEND", {1}},
        {" be vcgg vcpg vcgi vcpi h2g h2i rg srg rp srp", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}},
        {" RGX/SRP,unknown", {8, 11}},
        {" VC SR H2 VCG VCXX", {}},  // a group without its variant selects nothing
        {" H2GI", {6}},              // one item sets one flag
    };
    for (const auto& c : cases) {
        kirv::PrintFlags expected{};
        for (int k : c.set) expected[static_cast<std::size_t>(k - 1)] = 1;
        EXPECT_EQ(kirv::parse_print_flags(c.value), expected) << c.value;
    }
}

// ------------------------------------------------------------ matrix reader

TEST(MatrixReader, Layouts) {
    using Values = std::vector<double>;  // column-major, each matrix in turn
    const struct {
        const char* name;
        std::string text;
        const char* keyword;
        int n, count;
        bool mirrored;
        Values expected;
    } cases[] = {
        {"EMS upper after a blank line", "EMS UP\n\n 2 3 1\n 4 1\n 1\n", "EMS", 3, 1, false,
         {2, 0, 0, 3, 4, 0, 1, 1, 1}},
        {"EMS lower is not mirrored", "ems / low\n2\n3 4\n", "EMS", 2, 1, false, {2, 3, 0, 4}},
        {"LOW wins over UP", "EMS UP LOW\n2\n3 4\n", "EMS", 2, 1, false, {2, 3, 0, 4}},
        {"EMS full over several records", "  EMS\n1 2\n3\n4 5 6\n7 8 9\n", "EMS", 3, 1, false,
         {1, 4, 7, 2, 5, 8, 3, 6, 9}},
        {"SS lower mirrored", "SS / LOW\n1\n2 3\n4\n5 6\n", "SS", 2, 2, true, {1, 2, 2, 3, 4, 5, 5, 6}},
        {"SS upper mirrored", "SS UP\n1 2\n3\n", "SS", 2, 1, true, {1, 2, 2, 3}},
        {"SS full is transposed", "SS\n1 2\n3 4\n", "SS", 2, 1, true, {1, 2, 3, 4}},
        {"extra items ignored, missing ones zero", "EMS UP\n1 2 3 4\n5\n", "EMS", 2, 1, false, {1, 0, 2, 5}},
        {"first keyword line of the file", "x\nEMS UP\n1 2\n3\nEMS UP\n9 9\n9\n", "EMS", 2, 1, false, {1, 0, 2, 3}},
        // a tab separates items as a blank does (and does not join 8 and 1 into 81)
        {"tabs between items and before the keyword", "\tEMS / UP\n8\t1\n\t1\n", "EMS", 2, 1, false, {8, 0, 1, 1}},
    };
    for (const auto& c : cases) {
        DataFile f(c.text);
        const auto block = kirv::read_matrix_block(f.reader, c.keyword, c.n, c.count, c.mirrored);
        ASSERT_TRUE(block.has_value()) << c.name;
        Values values;
        for (const tk::Matrix& m : *block) values.insert(values.end(), m.v.begin(), m.v.end());
        EXPECT_EQ(values, c.expected) << c.name;
    }
}

TEST(MatrixReader, BlocksThatCannotBeRead) {
    const struct {
        const char* name;
        std::string text;
        const char* keyword;
        int n, count;
        int status;
        std::string message;
    } cases[] = {
        {"triangle ends early", "SS / LOW\n1\n2 3\n4\n", "SS", 2, 2, kirv::status_matrix_ends_early,
         "The data file ends before row 2 of the SS-Matrix of effect 2!"},
        {"full ends early", "EMS\n1 2\n", "EMS", 2, 1, kirv::status_matrix_ends_early,
         "The data file ends before row 2 of the EMS-Matrix!"},
        {"triangle item", "EMS UP\n1 x2\n3\n", "EMS", 2, 1, kirv::status_matrix_item,
         "The item 'x2' in row 1 of the EMS-Matrix is not a number!"},
        {"full item", "EMS\n1 2\n3 abc\n", "EMS", 2, 1, kirv::status_matrix_item,
         "Error in row 2 of the EMS-Matrix: the value 'abc' is not a number!"},
    };
    for (const auto& c : cases) {
        DataFile f(c.text);
        EXPECT_EQ(error_of([&] { kirv::read_matrix_block(f.reader, c.keyword, c.n, c.count, false); }),
                  std::make_pair(c.status, c.message))
            << c.name;
    }
    DataFile none("SSX\n");
    EXPECT_FALSE(kirv::read_matrix_block(none.reader, "EMS", 2, 1, false).has_value());
}

// ------------------------------------------------------------ control settings

tk::KirvControl control(int listing, std::array<std::string, 7> records) {
    tk::KirvControl c;
    c.status = tk::ControlStatus::read;
    c.listing = listing;
    c.records = std::move(records);
    return c;
}

TEST(ControlSettings, RecordsTakenOver) {
    const std::string long_name(90, 'd');
    const kirv::ControlSettings s =
        kirv::take_control_settings(control(1, {long_name, "", "1, 0 1 0 1 0 1 0 1 0 1 0", "  0.3abc", "2.9", "-2.9", "x"}));
    EXPECT_EQ(s.data_file, std::string(80, 'd'));
    EXPECT_EQ(s.listing_file, "kirv.lst");
    EXPECT_EQ(s.bending, 1);
    EXPECT_EQ(s.print_flags, (kirv::PrintFlags{0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0}));
    EXPECT_DOUBLE_EQ(*s.relative, 0.3);
    EXPECT_EQ(*s.genetic_group_id, 2);  // truncated toward zero
    EXPECT_EQ(*s.reference_id, -2);
    EXPECT_EQ(*s.minimum_eigenvalue, 0.0);  // no numeric prefix

    const kirv::ControlSettings empty = kirv::take_control_settings(control(0, {"data", "", "", "", "", "", ""}));
    EXPECT_EQ(empty.listing_file, "");  // no listing, no default name
    EXPECT_FALSE(empty.bending || empty.print_flags || empty.relative || empty.genetic_group_id || empty.reference_id ||
                 empty.minimum_eigenvalue);
}

TEST(ControlSettings, SwitchRecordMustHoldTwelveIntegers) {
    for (const char* record : {"1 1 1 1 1 1 1 1 1 1 1", "1 1 1 1 1 1 1 1 1 1 1 x", "1 1 1 1 1 1 1 1 1 1 1.5 1",
                               "yes", "1 1 1 1 1 / 1 1 1 1 1 1 1"}) {
        const auto [status, message] =
            error_of([&] { kirv::take_control_settings(control(1, {"d", "", record, "", "", "", ""})); });
        EXPECT_EQ(status, kirv::status_bad_switches) << record;
        EXPECT_EQ(message, "The third record of the control file tanv~tm3.$$$ must hold twelve integers: the bending "
                           "switch and eleven print switches!");
    }
    const kirv::ControlSettings s =
        kirv::take_control_settings(control(1, {"d", "", "+2 1 1 1 1 1 1 1 1 1 1 1 99", "", "", "", ""}));
    EXPECT_EQ(s.bending, 2);  // a thirteenth item is not read
}

TEST(ControlSettings, NumericPrefix) {
    const struct {
        const char* text;
        double value;
    } cases[] = {
        {"0.25", 0.25}, {"  -1.5e1x", -15.0}, {"+.5", 0.5}, {"7.", 7.0}, {"1e", 1.0}, {"1e+", 1.0},
        {"abc", 0.0},   {".", 0.0},           {"-", 0.0},   {"3 4", 3.0}, {"1e999", 1.7976931348623157e308},
    };
    for (const auto& c : cases) EXPECT_EQ(kirv::numeric_prefix(c.text), c.value) << c.text;
    EXPECT_EQ(kirv::truncate_to_int(1e30), 2147483647);
    EXPECT_EQ(kirv::truncate_to_int(-3.9), -3);
}

// ------------------------------------------------------------ the whole specification

const std::string matrices = "EMS / UP\n5 1\n1\nSS / LOW\n18\n6 10\n40\n4 20\n";

kirv::Specification read(const std::string& text, const kirv::ControlSettings& given = {}) {
    DataFile f(text);
    return kirv::read_specification(f.reader, given);
}

TEST(Specification, ReadsEveryPart) {
    const kirv::Specification s = read(lines({"Title", "df = 9 40", "gen = 1", "traits {WT} {BF}", "PRI = RG"}) + matrices);
    EXPECT_EQ(s.df, (std::vector<double>{9, 40}));
    ASSERT_EQ(s.trait_names.size(), 2u);
    EXPECT_EQ(s.trait_names[1], "BF              ");
    EXPECT_EQ(s.genetic_group, 0);
    EXPECT_EQ(s.reference, -1);
    EXPECT_EQ(s.relative, 0.25);
    EXPECT_EQ(s.bending, 0);
    EXPECT_EQ(s.print_flags, (kirv::PrintFlags{0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0}));
    EXPECT_EQ(s.ems.v, (std::vector<double>{5, 0, 1, 1}));
    ASSERT_EQ(s.ss.size(), 2u);
    EXPECT_EQ(s.ss[0].v, (std::vector<double>{18, 6, 6, 10}));
    EXPECT_EQ(s.ss[1].v, (std::vector<double>{40, 4, 4, 20}));
}

TEST(Specification, Settings) {
    const std::string body = lines({"DF = 9 40 3 4 5", "{A}"}) + "EMS\n" + repeated("1 0 0 0 0", 1) +
                             repeated("0 1 0 0 0", 1) + repeated("0 0 1 0 0", 1) + repeated("0 0 0 1 0", 1) +
                             "0 0 0 0 1\nSS\n1\n1\n1\n1\n1\n";
    kirv::ControlSettings bend_control;
    bend_control.bending = 1;
    bend_control.print_flags = kirv::PrintFlags{};
    kirv::ControlSettings no_bend_control;
    no_bend_control.bending = 0;
    no_bend_control.print_flags = kirv::all_print_flags;
    no_bend_control.minimum_eigenvalue = -3.0;
    no_bend_control.reference_id = 7;
    kirv::ControlSettings rel_control;
    rel_control.relative = 1.5;
    const struct {
        const char* name;
        std::string head;
        kirv::ControlSettings given;
        double relative;
        int bending;
        double minimum;
        int reference;  // 0-based, -1 identity
    } cases[] = {
        {"defaults", "GEN = 1", {}, 0.25, 0, 0.0, -1},
        {"relative 1.5 in the file", "GEN = 1\nREL = 1.5", {}, 0.25, 0, 0.0, -1},
        {"relative -0.1 in the file", "GEN = 1\nREL = -0.1", {}, 0.25, 0, 0.0, -1},
        {"relative 1 kept", "GEN = 1\nREL = 1", {}, 1.0, 0, 0.0, -1},
        {"relative 1.5 from the control file", "GEN = 1\nREL = 0.5", rel_control, 0.25, 0, 0.0, -1},
        {"relative through a 4-byte real", "GEN = 1\nREL = 0.3", {}, static_cast<double>(0.3f), 0, 0.0, -1},
        {"bending from the file", "GEN = 1\nBEN = 1.9\nMIN = 0.5\nREF = 3", {}, 0.25, 1, 0.5, 2},
        {"negative minimum", "GEN = 1\nBEN = 1\nMIN = -1", {}, 0.25, 1, 0.0, -1},
        {"reference beyond the effects", "GEN = 1\nBEN = 1\nREF = 7", {}, 0.25, 1, 0.0, -1},
        {"no bending: MIN and REF not read", "GEN = 1\nMIN = 0.5\nREF = 3", {}, 0.25, 0, 0.0, -1},
        {"control switches win over BEN", "GEN = 1\nBEN = 0\nREF = 2", bend_control, 0.25, 1, 0.0, 1},
        {"no bending: control values unchecked", "GEN = 1\nBEN = 1", no_bend_control, 0.25, 0, -3.0, 6},
    };
    for (const auto& c : cases) {
        const kirv::Specification s = read(c.head + "\n" + body, c.given);
        EXPECT_EQ(s.relative, c.relative) << c.name;
        EXPECT_EQ(s.bending, c.bending) << c.name;
        EXPECT_EQ(s.minimum_eigenvalue, c.minimum) << c.name;
        EXPECT_EQ(s.reference, c.reference) << c.name;
    }
    // The print flags come with the bending switch from the control file.
    EXPECT_EQ(read("GEN = 1\n" + body, bend_control).print_flags, kirv::PrintFlags{});
}

TEST(Specification, DfLineReadWholeUpToTheEffectLimit) {
    // Values of two characters: 500 of them run past 1000 characters and all
    // count; a 501st is refused rather than dropped.
    const auto df_line = [](int values) {
        std::string df = "DF =";
        for (int i = 0; i < values; ++i) df += " 1";
        return df + "\n{A}\n";
    };
    kirv::ControlSettings given;
    given.genetic_group_id = 499;  // 500, the last effect, is the residual
    // The EMS block is missing: the reads up to it are what this case checks.
    EXPECT_EQ(error_of([&] { read(df_line(500), given); }).first, kirv::status_no_ems);
    EXPECT_EQ(error_of([&] { read(df_line(501), given); }),
              std::make_pair(kirv::status_too_many_effects,
                             std::string("The DF line holds 501 values; at most 500 effects are allowed!")));
}

TEST(Specification, InputErrors) {
    kirv::ControlSettings group3;
    group3.genetic_group_id = 3;
    kirv::ControlSettings rel0;
    rel0.relative = 0.0;
    const struct {
        const char* name;
        std::string text;
        kirv::ControlSettings given;
        int status;
        std::string message;
    } cases[] = {
        {"no DF", "GEN = 1\n{A}\n" + matrices, {}, -3, "No degree of freedom specified!"},
        {"DF after 100 lines", repeated("x", 100) + "DF = 1 2\n", {}, -3, "No degree of freedom specified!"},
        {"one DF value", "DF = 9\n", {}, -2, "Error in DF expression OR tool few effects!"},
        {"DF of 0", "DF = 9 0\n", {}, kirv::status_bad_df, "Degree of freedom of effect 2 must be above 0!"},
        {"negative DF", "DF = -1 5\n", {}, kirv::status_bad_df, "Degree of freedom of effect 1 must be above 0!"},
        {"DF not a number", "DF = 9 x4\n", {}, kirv::status_bad_number, "The value 'x4' after DF is not a number!"},
        {"no trait line", "DF = 9 40\n", {}, -4, "No trait expression specified!"},
        {"open trait", "DF = 9 40\n{WT} {BF\n", {}, -5, "Error in trait expression!"},
        {"no GEN", "DF = 9 40\n{A}\n", {}, -9, "ID of genetic group is not specified!"},
        {"GEN 0", "DF = 9 40\n{A}\nGEN = 0\n", {}, -9, "Error ID of genetic group specified!"},
        {"GEN beyond the effects", "DF = 9 40\n{A}\nGEN = 3\n", {}, -9, "Error ID of genetic group specified!"},
        {"GEN from the control file", "DF = 9 40\n{A}\nGEN = 1\n", group3, -9, "Error ID of genetic group specified!"},
        {"GEN not a number", "DF = 9 40\n{A}\nGEN = one\n", {}, kirv::status_bad_number,
         "The value 'one' after GEN is not a number!"},
        {"relative 0 in the file", "REL = 0\n", {}, kirv::status_bad_relative,
         "Coefficient of coancestry of relatives must be above 0!"},
        {"relative 0 from the control file", "DF = 9 40\n", rel0, kirv::status_bad_relative,
         "Coefficient of coancestry of relatives must be above 0!"},
        {"no EMS", "DF = 9 40\n{A}\nGEN = 1\nSS\n1\n1\n", {}, -6, "No EMS-Matrix specified!"},
        {"no SS", "DF = 9 40\n{A}\nGEN = 1\nEMS UP\n1 1\n1\n", {}, -7, "No SS-Matrix specified!"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(error_of([&] { read(c.text, c.given); }), std::make_pair(c.status, c.message)) << c.name;
}

}  // namespace

namespace {

// The genetic group of a data file with named effects (three effects: A,
// B|A and the residual): by name on the command line or a GEN line, chosen
// by kirv without one on the command line only, and the names that do not
// fit the DF line.
TEST(Specification, GeneticGroupOfNamedEffects) {
    const std::string names = "//EFFECT 1 = A\n//EFFECT 2 = B|A\n//EFFECT 3 = Error\n";
    const std::string body = "DF = 4 10 50\n{T}\nEMS / UP\n3 2 1\n2 1\n1\nSS / LOW\n9\n8\n7\n";
    kirv::ControlSettings by_name;
    by_name.genetic_group_name = "b";  // case aside, the first factor of B|A
    kirv::ControlSettings shell;
    shell.group_may_be_chosen = true;
    const struct {
        const char* name;
        std::string text;
        kirv::ControlSettings given;
        int status;
        int group;  // 0-based, when the run goes on
        std::string message_or_reason;
    } cases[] = {
        {"chosen: nested", names + body, shell, 0, 0, "B|A is nested within it"},
        {"host: never chosen", names + body, {}, kirv::status_genetic_group, 0, "ID of genetic group is not specified!"},
        {"two effects hold nested ones", "//EFFECT 1 = A\n//EFFECT 2 = B|A\n//EFFECT 3 = C|B|A\n//EFFECT 4 = Error\n"
         "DF = 4 10 20 50\n{T}\nEMS / UP\n4 3 2 1\n3 2 1\n2 1\n1\nSS / LOW\n9\n8\n7\n6\n", shell, kirv::status_genetic_group, 0,
         "ID of genetic group is not specified! Choose it with --genetic-group, by name or number, among the effects "
         "1 (A), 2 (B|A), 3 (C|B|A)."},
        {"by name", names + body, by_name, 0, 1, ""},
        {"GEN line with a name", "GEN = A\n" + names + body, {}, 0, 0, ""},
        {"GEN line with a number", "GEN = 2\n" + names + body, {}, 0, 1, ""},
        {"no names, no group", body, {}, kirv::status_genetic_group, 0, "ID of genetic group is not specified!"},
        {"the residual by number", "GEN = 3\n" + body, {}, kirv::status_genetic_group, 0,
         "Error ID of genetic group specified! Effect 3 is the residual, which cannot be the genetic group; choose "
         "an effect of the model!"},
        {"a name without names", "GEN = A\n" + body, {}, kirv::status_bad_number, 0,
         "The value 'A' after GEN is not a number!"},
        {"a number twice", "//EFFECT 1 = A\n//EFFECT 1 = C\n" + body, {}, kirv::status_bad_effect_names, 0,
         "The effect names of the data file do not fit its DF line: effect 1 is named twice!"},
        {"an effect left unnamed", "//EFFECT 1 = A\n//EFFECT 3 = Error\n" + body, {}, kirv::status_bad_effect_names, 0,
         "The effect names of the data file do not fit its DF line: effect 2 has no name!"},
        {"beyond the DF line", names + "//EFFECT 4 = X\n" + body, {}, kirv::status_bad_effect_names, 0,
         "The effect names of the data file do not fit its DF line: '4' is not an effect number from 1 to 3!"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.status != 0) {
            EXPECT_EQ(error_of([&] { read(c.text, c.given); }), std::make_pair(c.status, c.message_or_reason));
            continue;
        }
        const kirv::Specification s = read(c.text, c.given);
        EXPECT_EQ(s.genetic_group, c.group);
        EXPECT_EQ(s.genetic_group_reason, c.message_or_reason);
        EXPECT_EQ(s.effect_names, (std::vector<std::string>{"A", "B|A", "Error"}));
    }
}

}  // namespace
