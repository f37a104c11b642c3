// Keyword searches, specification items, the checks and their messages, and
// the parsing of models, traits and data formats.
#include <gtest/gtest.h>

#include "common/tokenizer.hpp"
#include "tarvel/run_error.hpp"
#include "tarvel/specification.hpp"
#include "tests/common/temp_dir.hpp"

namespace {

using Names = std::vector<std::string>;
using Factors = std::vector<int>;

std::string repeated(const std::string& line, int times) {
    std::string text;
    for (int i = 0; i < times; ++i) text += line;
    return text;
}

// A data file with the given text, opened for reading.
struct DataFile {
    tk_test::TempDir dir;
    tk::TextReader reader;
    explicit DataFile(const std::string& text) { reader.open(dir.write("data.txt", text)); }
};

tarvel::Specification specification_of(const std::string& text, const tarvel::ControlItems& control = {}) {
    DataFile data(text);
    return tarvel::read_specification(data.reader, control);
}

// The message of the RunError that `action` raises; empty when none.
template <typename Action>
std::string error_of(Action action) {
    try {
        action();
    } catch (const tarvel::RunError& error) {
        return error.what();
    }
    return "";
}

TEST(Specification, Normalise) {
    const struct {
        const char* line;
        const char* normalised;
    } cases[] = {
        {"model = a + b + a*b", "MODEL=A+B+A*B"},
        {"  Fmt=(a4, 2i3,\tf8.2)  ", "FMT=(A4,2I3,F8.2)"},
        {"{Body wt}", "{BODYWT}"},
        {"", ""},
    };
    for (const auto& c : cases) {
        std::string line = c.line;
        tarvel::normalise(line);
        EXPECT_EQ(line, c.normalised) << c.line;
    }
}

TEST(Specification, KeywordSearch) {
    const struct {
        std::string text;
        const char* keyword;
        std::optional<std::string> found;
    } cases[] = {
        {"Title\nmodel = a + b + a*b\n", "MOD", "MODEL=A+B+A*B"},
        {"Format=(a4,2i3,f8.2)\n", "FMT", std::nullopt},  // "FOR..." is not "FMT"
        {"fmt = (a4,2i3,f8.2)\n", "FMT", "FMT=(A4,2I3,F8.2)"},
        {"MISSING = -9\r\nPRINT = ms\r\n", "PRI", "PRINT=MS"},
        {"MOD=A\nMOD=B\n", "MOD", "MOD=A"},  // the first line wins
        // Blank lines are not counted; the 100th counted line is still examined, the 101st is not.
        {repeated("\n", 5) + repeated("title\n", 99) + "MOD=A\n", "MOD", "MOD=A"},
        {repeated("   \n", 5) + repeated("title\n", 100) + "MOD=A\n", "MOD", std::nullopt},
        {"", "MOD", std::nullopt},
    };
    for (const auto& c : cases) {
        DataFile data(c.text);
        EXPECT_EQ(tarvel::search_keyword(data.reader, c.keyword), c.found) << c.text;
        std::string first;
        const bool has_line = data.reader.read_record(first);
        if (!c.text.empty()) {
            EXPECT_TRUE(has_line);  // rewound: reading starts at the top again
        }
        EXPECT_EQ(first, c.text.substr(0, c.text.find_first_of("\r\n"))) << c.text;
    }
}

TEST(Specification, TraitLine) {
    const struct {
        std::string text;
        std::optional<std::string> found;
    } cases[] = {
        {"MOD=A\nWeight {Body wt} and {HEIGHT}   \n", "{Body wt} and {HEIGHT}"},
        {"no braces\n", std::nullopt},
        {repeated("\n", 3) + repeated("x\n", 100) + "{Y}\n", std::nullopt},
        {repeated("x\n", 99) + "{Y}\n", "{Y}"},
    };
    for (const auto& c : cases) {
        DataFile data(c.text);
        EXPECT_EQ(tarvel::find_trait_line(data.reader), c.found) << c.text;
    }
}

TEST(Specification, ItemsFromTheDataFile) {
    const tarvel::Specification s = specification_of(
        "Test\n"
        "FMT = (2i3, f8.2)\n"
        "model = a + b|a\n"
        "MIS=-9,-99/0.5\n"
        "PRI = ms, kirv, xx\n"
        "Weight {Body wt} and {HEIGHT}\n");
    EXPECT_EQ(s.data_format, "(2I3,F8.2)");
    EXPECT_EQ(s.model, "A+B|A");
    EXPECT_EQ(s.missing_codes, (std::vector<float>{-9.0f, -99.0f, 0.5f}));
    EXPECT_TRUE(s.switches.ms && s.switches.kirv);
    EXPECT_FALSE(s.switches.ss || s.switches.vc || s.switches.cr);
    EXPECT_EQ(s.trait_text, "{Body wt} and {HEIGHT}");
}

TEST(Specification, ControlFieldsWin) {
    tarvel::ControlItems control;
    control.model = "a * b";
    control.data_format = "(2f3.0 , f4.1)";
    control.traits = "  { Weight }";
    control.missing_values = "-9 -99";
    control.print_options = "vc cr";
    const tarvel::Specification s =
        specification_of("FMT=(I3)\nMOD=C\nMIS=1\nPRI=MS\n{Other}\n", control);
    EXPECT_EQ(s.model, "A*B");                    // normalised
    EXPECT_EQ(s.data_format, "(2F3.0,F4.1)");     // normalised
    EXPECT_EQ(s.trait_text, "  { Weight }");      // unchanged
    EXPECT_EQ(s.missing_codes, (std::vector<float>{-9.0f, -99.0f}));  // blanks separate here
    EXPECT_TRUE(s.switches.vc && s.switches.cr);
    EXPECT_FALSE(s.switches.ms);
}

TEST(Specification, MissingValues) {
    const struct {
        const char* line;
        std::vector<float> codes;
    } cases[] = {
        {"MIS=-9,-99\n", {-9.0f, -99.0f}},
        {"MIS=-9 -99\n", {-0.0f}},     // normalised to the one word '-9-99' (-9E-99), refused by the checks
        {"MIS=\n", {1.0e30f}},         // no item: the default stays
        {"nothing\n", {1.0e30f}},
        {"MISSING=12/1.5E2\n", {12.0f, 150.0f}},
    };
    for (const auto& c : cases) EXPECT_EQ(specification_of(c.line).missing_codes, c.codes) << c.line;
    EXPECT_EQ(specification_of(repeated("x\n", 3) + "MIS=" + repeated("1,", 120) + "\n").missing_codes.size(), 100u);
}

TEST(Specification, PrintOptions) {
    const auto flags = [](const tarvel::OutputSwitches& s) {
        return std::string(s.ms ? "M" : "-") + (s.ss ? "S" : "-") + (s.vc ? "V" : "-") + (s.cr ? "C" : "-") +
               (s.kirv ? "K" : "-");
    };
    const struct {
        const char* text;
        bool control;
        const char* flags;
    } cases[] = {
        {"PROCESS", true, "-S---"},  // a substring is enough in the control field
        {"PRI=PROCESS", false, "-----"},  // only exact words on a "PRI" line
        {"ms,SS/vc", true, "MSV--"},
        {"PRI=MS,SS,VC,CR,KIRV", false, "MSVCK"},
        {"PRINT=KIRVX", false, "-----"},
        {"kirv", true, "----K"},
    };
    for (const auto& c : cases) {
        std::string line = c.text;
        tarvel::normalise(line);
        const tarvel::OutputSwitches s =
            c.control ? tarvel::print_switches_from_control(c.text) : tarvel::print_switches_from_line(line);
        EXPECT_EQ(flags(s), c.flags) << c.text;
    }
}

TEST(Specification, TermsAndLetters) {
    EXPECT_EQ(tarvel::count_terms("A+B+A*B", '+'), 3);
    EXPECT_EQ(tarvel::count_terms("", '+'), 1);
    EXPECT_EQ(tarvel::count_terms("A*B|C", '*'), 2);
    EXPECT_EQ(tarvel::highest_factor_letter("A+B|A+A*D"), 4);
    EXPECT_EQ(tarvel::highest_factor_letter("Z"), 26);
    EXPECT_EQ(tarvel::highest_factor_letter("1+2"), 0);
}

TEST(Specification, Traits) {
    const struct {
        const char* text;
        Names names;
    } cases[] = {
        {"Weight {Body wt} and {HEIGHT}", {"Body wt", "HEIGHT"}},
        {"}{A}", {"", "A"}},  // a "}" before the "{": a blank first name
        {"{A very long trait name}", {"A very long trait"}},  // cut to 16 characters
        {"{}{ x }", {"", " x"}},
        {"no braces", {}},
    };
    for (const auto& c : cases) {
        Names padded;
        for (const std::string& name : c.names) padded.push_back(tk::pad(name, 16));
        EXPECT_EQ(tarvel::parse_traits(c.text), padded) << c.text;
    }
    EXPECT_EQ(error_of([] { tarvel::parse_traits("{A}{B"); }), "Traits expression error!");
    EXPECT_EQ(tarvel::parse_traits(repeated("{T}", 100)).size(), 100u);
    EXPECT_EQ(error_of([] { tarvel::parse_traits(repeated("{T}", 101)); }),
              "Traits expression error! The trait text holds more than 100 names in braces.");
}

TEST(Specification, Model) {
    const struct {
        const char* model;
        Names names;
        std::vector<Factors> factors;
        int f;
    } cases[] = {
        {"A+B|A+A*D", {"A", "B|A", "A*D"}, {{0}, {0, 1}, {0, 3}}, 4},
        {"A+B+A*B", {"A", "B", "A*B"}, {{0}, {1}, {0, 1}}, 2},
        {"C|B|A*D", {"C|B|A*D"}, {{0, 1, 2, 3}}, 4},  // sub-parts right to left, parts left to right
        {"A*B*C*D*E*F*G*H*I*J*K", {"A*B*C*D*E*F*G*H*I*J*"}, {{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10}}, 11},
    };
    for (const auto& c : cases) {
        const tarvel::Model model = tarvel::parse_model(c.model);
        EXPECT_EQ(model.factor_count, c.f) << c.model;
        ASSERT_EQ(model.effects.size(), c.names.size()) << c.model;
        for (std::size_t i = 0; i < c.names.size(); ++i) {
            EXPECT_EQ(model.effects[i].name, c.names[i]) << c.model;
            EXPECT_EQ(model.effects[i].factors, c.factors[i]) << c.model;
        }
    }
}

TEST(Specification, ModelsThatCannotBeAnalysed) {
    std::string fifty_one = "A";
    for (int i = 1; i < 51; ++i) fifty_one += "*A";
    const struct {
        std::string model;
        std::string message;
    } cases[] = {
        {"A++B", "Invalid model specified! Term 2 is empty (model 'A++B')."},
        {"A+B+", "Invalid model specified! Term 3 is empty (model 'A+B+')."},
        {"+A", "Invalid model specified! Term 1 is empty (model '+A')."},
        {"A+B||A", "Invalid model specified! Term 2 'B||A' has an empty factor (model 'A+B||A')."},
        {"A**B", "Invalid model specified! Term 1 'A**B' has an empty factor (model 'A**B')."},
        {"A+(B)", "Invalid model specified! Term 2 '(B)' has the factor '(B)'; a factor is one letter A to Z (model 'A+(B)')."},
        // A factor named by a word would be read as its first letter, and the
        // highest letter of the word would set the codes per case.
        {"HERD+SIRE", "Invalid model specified! Term 1 'HERD' has the factor 'HERD'; a factor is one letter A to Z (model 'HERD+SIRE')."},
        {"MODEL:A", "Invalid model specified! Term 1 'MODEL:A' has the factor 'MODEL:A'; a factor is one letter A to Z (model 'MODEL:A')."},
        {"A+B|A1", "Invalid model specified! Term 2 'B|A1' has the factor 'A1'; a factor is one letter A to Z (model 'A+B|A1')."},
        {"A+B+B", "Invalid model specified! Terms 2 and 3 have the same name 'B' (model 'A+B+B')."},
        {fifty_one, "Invalid model specified! Term 1 '" + fifty_one + "' has 51 factors; an effect may have at most 50 (model '" + fifty_one + "')."},
    };
    for (const auto& c : cases) EXPECT_EQ(error_of([&] { tarvel::parse_model(c.model); }), c.message);
    EXPECT_EQ(tarvel::parse_model(fifty_one.substr(2)).effects[0].factors.size(), 50u);
    EXPECT_EQ(tarvel::parse_model("A+B+A").effects.size(), 3u);  // repeated, not neighbours: analysed as written
}

TEST(Specification, DataFormatPreparation) {
    const struct {
        const char* format;
        const char* prepared;
    } cases[] = {
        {"(A4,2I3,F8.2)", "(A4,2F3.0,F8.2)"},
        {"(10I5)", "(10F5.0)"},
        {"I4)", "F4.0)"},
        {"(2(I3))", "(2(F3.0))"},
        {"(I3/I4)", "(F3.0/F4.0)"},
        {"(I4.2,F5.1)", "(F4.0,F5.1)"},
        {"(3X,F4.1)", "(3X,F4.1)"},
    };
    for (const auto& c : cases) EXPECT_EQ(tarvel::prepare_data_format(c.format), c.prepared) << c.format;
    std::string many = "(F1.0";
    for (int i = 1; i < 250; ++i) many += ",1X";
    EXPECT_EQ(tarvel::prepare_data_format(many + ")"), many + ")");
    EXPECT_EQ(error_of([&] { tarvel::prepare_data_format(many + ",1X)"); }),
              "Invalid data format! The data format has 251 parts separated by commas; at most 250 are allowed.");
}

// The checks run in their fixed order; the first failure gives the message.
TEST(Specification, ChecksInOrder) {
    const struct {
        const char* data;
        const char* message;
    } cases[] = {
        {"MIS=x\n{Y\n", "No model specified!"},
        {"MOD=1+2\n{Y\n", "Invalid model specified!"},
        {"MOD=\n", "Invalid model specified!"},
        {"MOD=A\nMIS=x\n", "No trait specified!"},
        {"MOD=A\nMIS=x\n{Y\n", "Traits expression error!"},
        {"MOD=A\nMIS=-9,x\n{Y}\n", "Invalid missing values! The item 'X' of the missing values 'MIS=-9,X' is not a number."},
        // Codes separated by blanks run together once the blanks are removed.
        {"MOD=A\nMIS = -9 -99\n{Y}\n", "Invalid missing values! The codes of the line 'MIS = -9 -99' are separated "
                                       "by blanks, which are removed from the line; separate them by commas."},
        {"MOD=A\nMIS= 9\t99 \n{Y}\n", "Invalid missing values! The codes of the line 'MIS= 9\t99' are"},
        {"MOD=A\nMIS=.5 +1\n{Y}\n", "Invalid missing values! The codes of the line"},
        {"MOD=A\nMIS = -9 , -99 / 1E 3\n{Y}\n", ""},  // separators, or a blank inside one code, are fine
        {"MOD=A\nMISSING VALUES = -9\n{Y}\n", ""},
        {"MOD=A\nFMT=(F3.0,Q)\n{Y}\n", "Invalid data format! The data format '(F3.0,Q)' cannot be used: "},
        {"MOD=A\n{Y}\n", ""},
    };
    for (const auto& c : cases) {
        const tarvel::Specification s = specification_of(c.data);
        const std::string message = error_of([&] { tarvel::check_specification(s); });
        EXPECT_EQ(message.substr(0, std::string(c.message).size()), c.message) << c.data;
        if (*c.message == '\0') {
            EXPECT_EQ(message, "");
        }
    }
}

TEST(Specification, CheckedCounts) {
    const tarvel::CheckedSpecification c =
        tarvel::check_specification(specification_of("model = a + b + a*b\nFMT=(2I3,2F5.1)\n{W} {H}\n"));
    EXPECT_EQ(c.effect_count, 3);
    EXPECT_EQ(c.factor_count, 2);
    EXPECT_EQ(c.trait_names, (Names{tk::pad("W", 16), tk::pad("H", 16)}));
    EXPECT_EQ(c.case_format, "(2F3.0,2F5.1)");
    tarvel::ControlItems control;
    control.traits = "weight";
    EXPECT_EQ(error_of([&] { tarvel::check_specification(specification_of("MOD=A\n{Y}\n", control)); }),
              "No trait specified! The trait text 'weight' holds no name in braces.");
}

}  // namespace
