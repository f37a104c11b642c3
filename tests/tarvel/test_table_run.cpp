// tarvel reading a delimited table, end to end through the built program: the
// table version of a reference analysis gives exactly the numbers of its
// letter-coded original, plain, compressed or on standard input; a bad table
// stops the run with a message that names the line and the column, and
// leaves no results.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <zlib.h>
#include <zstd.h>

#include "tests/common/reference_files.hpp"
#include "tests/tarvel/halfsib_table.hpp"
#include "tests/tarvel/tarvel_run_support.hpp"

namespace {

using nlohmann::json;
using tarvel_test::RunResult;
using tarvel_test::TarvelRun;
using Args = std::vector<std::string>;

std::string gzip_bytes(const std::string& text) {
    std::vector<unsigned char> out(compressBound(static_cast<uLong>(text.size())) + 32);
    z_stream z{};
    deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY);  // gzip framing
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    z.avail_in = static_cast<uInt>(text.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    deflateEnd(&z);
    return std::string(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(z.total_out));
}

std::string zstd_bytes(const std::string& text) {
    std::string out(ZSTD_compressBound(text.size()), '\0');
    out.resize(ZSTD_compress(out.data(), out.size(), text.data(), text.size(), 3));
    return out;
}

std::string tarvel_program() { return tarvel_test::tarvel_executable(); }

int occurrences(const std::string& text, const std::string& word) {
    int count = 0;
    for (std::size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) ++count;
    return count;
}

Args table_args(const std::string& data) {
    return {data, "--model", tarvel_test::halfsib_model, "--traits", tarvel_test::halfsib_traits, "--json", "r.json"};
}

// Every number of every pair's table, the summaries and the coefficients:
// the parts of the document that do not depend on the names.
json numbers_of(const json& document) {
    json pairs = json::array();
    for (json pair : document["pairs"]) {
        for (json& row : pair["rows"]) row.erase("source");
        pairs.push_back({pair["rows"], pair["summary"]});
    }
    return {pairs, document["expected_mean_squares"], document["cases"]["accepted"], document["cases"]["skipped"],
            document["design_columns"]};
}

TEST(TableRun, TableOfAReferenceGivesTheNumbersOfItsLetterCodedOriginal) {
    TK_REQUIRE_REFERENCE("d14_halfsib.dat");
    const std::string letter_coded = tk_test::read_reference_file("d14_halfsib.dat");
    TarvelRun original;
    original.write("halfsib.dat", letter_coded);
    ASSERT_EQ(original.run_args({"halfsib.dat", "--json", "r.json"}).exit_status, 0);
    const json expected = json::parse(original.read("r.json"));

    const tarvel_test::HalfsibTable table = tarvel_test::halfsib_table(letter_coded, 2);
    const std::string stdin_run = "exec '" + tarvel_program() + "' - --model '" + tarvel_test::halfsib_model +
                                  "' --traits '" + tarvel_test::halfsib_traits +
                                  "' --skip-bad-rows --json r.json < lambs.csv";
    const struct {
        const char* name;
        std::string file, bytes;
        bool through_stdin;
    } forms[] = {
        {"plain", "lambs.csv", table.text, false},
        {"gzip, renamed", "lambs.txt.gz", gzip_bytes(table.text), false},
        {"zstd", "lambs.csv.zst", zstd_bytes(table.text), false},
        {"standard input", "lambs.csv", table.text, true},
    };
    for (const auto& form : forms) {
        SCOPED_TRACE(form.name);
        TarvelRun run;
        run.write(form.file, form.bytes);
        Args args = table_args(form.file);
        args.push_back("--skip-bad-rows");
        const tk_test::ProgramRun r = form.through_stdin
                                          ? tk_test::run_program("/bin/sh", run.dir.path, {"-c", stdin_run})
                                          : tk_test::run_program(tarvel_program(), run.dir.path, args);
        ASSERT_EQ(r.exit_status, 0) << r.standard_error;
        EXPECT_NE(r.standard_error.find("Warning: 2 bad row(s), with a wrong number of fields or a trait value that "
                                        "is not a number, were left out:\n"),
                  std::string::npos)
            << r.standard_error;
        const json got = json::parse(run.read("r.json"));
        EXPECT_EQ(numbers_of(got), numbers_of(expected));
        EXPECT_EQ(got["effects"][1]["name"], "dam|sire");
        const json& report = got["table"];
        const json& problems = got["cases"]["problems"];
        EXPECT_EQ(problems["missing_factor"]["count"], table.unknown_dams);
        EXPECT_EQ(problems["bad_rows"]["count"], 2);
        EXPECT_EQ(problems["bad_rows"]["lines"][1]["text"], "column 2 (wwt) holds 'n/a', which is not a number");
        // Every missing-value code of the letter-coded file, counted by trait.
        EXPECT_EQ(report["traits"][0]["missing"].get<int>() + report["traits"][1]["missing"].get<int>() +
                      report["traits"][2]["missing"].get<int>(),
                  occurrences(letter_coded, " -999"));
        const std::vector<std::string> listing = run.records("tarvel.lst");
        EXPECT_NE(std::find(listing.begin(), listing.end(),
                            std::string(22, ' ') + "Note: " + std::to_string(table.unknown_dams) +
                                " case(s) were skipped for a missing factor value:"),
                  listing.end());
    }
}

TEST(TableRun, BadTablesStopTheRunNamingTheLineAndTheColumn) {
    const std::string head = "id,sire,y\n";
    const std::string rows = "a1,S1,4.5\na2,S2,5.5\n";
    const std::string gzip_table = gzip_bytes(head + rows + rows + rows);
    const std::string zstd_table = zstd_bytes(head + rows + rows + rows);
    const struct {
        const char* name;
        std::string bytes;
        Args args;  // model and traits
        std::string message;
    } cases[] = {
        {"duplicate name", "id,sire,sire,y\n" + rows, {}, "Line 1, columns 2 and 3 of 't.csv': the column name 'sire' is given twice."},
        {"empty name", ",sire,y\n" + rows, {}, "Line 1, column 1 of 't.csv': the column has no name."},
        {"unknown model column", head + rows, {"--model", "sir", "--traits", "y"},
         "The header (line 1) of 't.csv' has no column 'sir' (term 1); the nearest is 'sire'."},
        {"unknown trait column", head + rows, {"--model", "sire", "--traits", "yy"}, "has no column 'yy'; the nearest is 'y'."},
        {"trait column of text", head + rows, {"--model", "sire", "--traits", "id"},
         "Line 2, column 1 (id) of 't.csv': the trait column holds text ('a1') and no number"},
        {"empty file", "", {}, "The table 't.csv' is empty: it has no header line."},
        {"header only", head, {}, "The table 't.csv' has a header but no rows."},
        {"unclosed quote", head + "a1,\"S1,4.5\n" + rows, {},
         "Line 2, column 2 (sire) of 't.csv': the quote that opens the field there is not closed"},
        {"binary file", std::string("id,sire,y\n\x01\x02\x00\x7f", 14), {},
         "Line 2, column 3 of 't.csv' holds a zero byte: it is a binary file"},
        {"line beyond any record", head + "a1,S1," + std::string(5u << 20, '9') + "\n", {},
         "Line 2 of 't.csv' is longer than 4 MB"},
        {"truncated gzip", gzip_table.substr(0, gzip_table.size() - 9), {},
         "The file 't.csv' is cut short: its gzip data end before their end mark."},
        {"truncated zstd", zstd_table.substr(0, zstd_table.size() - 5), {},
         "The file 't.csv' is cut short: its zstd data end before their end mark."},
        {"an effect named as the Error row", "id,Error,y\n" + rows, {"--model", "Error", "--traits", "y"},
         "Invalid model specified! Term 1 'Error' has the name of the Error row of the analysis; rename the column "
         "(e.g. 'Error_1') in the table's header and in the model (model 'Error')."},
        {"... as the Mean row, in other letters", "id,mean,y\n" + rows, {"--model", "mean", "--traits", "y"},
         "Term 1 'mean' has the name of the Mean row"},
        {"... as the Total row, second term", "id,sire,TOTAL,y\nx,S1,T1,4\n", {"--model", "sire + TOTAL", "--traits", "y"},
         "Term 2 'TOTAL' has the name of the Total row"},
        {"bad rows", head + rows + "a3,S3\na4,S4,x\n", {},
         "2 bad row(s) in 't.csv' (a wrong number of fields, or a trait value that is not a number); nothing was "
         "analysed:\n  line 4: 2 fields, 3 expected: a3,S3\n  line 5: column 3 (y) holds 'x', which is not a "
         "number\nCorrect them, or give --skip-bad-rows to analyse the table without them."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TarvelRun run;
        run.write("t.csv", c.bytes);
        Args args{"t.csv", "--json", "r.json"};
        const Args model = c.args.empty() ? Args{"--model", "sire", "--traits", "y"} : c.args;
        args.insert(args.end(), model.begin(), model.end());
        const RunResult r = run.run_args(args);
        EXPECT_EQ(r.exit_status, 1);
        EXPECT_NE(r.standard_error.find(c.message), std::string::npos) << r.standard_error;
        EXPECT_FALSE(run.exists("r.json"));
    }
}

}  // namespace

namespace {

// What reading a small table gives: the case counts and the table report.
struct Reading {
    int accepted = 0, skipped = 0, skipped_missing_factor = 0;
    std::vector<int> levels;   // per factor
    std::vector<int> missing;  // per trait
    double first_ss = 0.0;     // the sum of squares of the first effect, first trait
};

Reading reading_of(const json& r) {
    Reading g{r["cases"]["accepted"], r["cases"]["skipped"], r["cases"]["problems"]["missing_factor"]["count"], {}, {},
              0.0};
    for (const json& f : r["table"]["factors"]) g.levels.push_back(f["levels"]);
    for (const json& t : r["table"]["traits"]) g.missing.push_back(t["missing"]);
    g.first_ss = r["pairs"][0]["rows"][1]["ss"];
    return g;
}

std::string e_acute(int count) {
    std::string text;
    for (int i = 0; i < count; ++i) text += "\xc3\xa9";
    return text;
}

TEST(TableRun, ReadingRules) {
    // Four cases in two groups: g = 1 1 2 2, y = 1 3 2 6 gives SS(g) = 4.
    const struct {
        const char* name;
        std::string text;
        Args args;  // beside --model g (and --traits y unless given)
        Reading expected;
        std::string warning = "";  // on standard error
    } cases[] = {
        {"comma", "g,y\n1,1\n1,3\n2,2\n2,6\n", {}, {4, 0, 0, {2}, {0}, 4.0}},
        {"tab, CR LF, no last line end", "g\ty\r\n1\t1\r\n1\t3\r\n2\t2\r\n2\t6", {}, {4, 0, 0, {2}, {0}, 4.0}},
        {"semicolon, blanks around fields, empty lines", "g ; y\n 1 ; 1\n\n1;3 \n2;2\n2;6\n\n", {},
         {4, 0, 0, {2}, {0}, 4.0}},
        {"separator given", "g|y|note\n1|1|a,b\n1|3|\n2|2|\n2|6|c;d\n", {"--sep", "|"}, {4, 0, 0, {2}, {0}, 4.0}},
        {"byte-order mark and quotes", "\xef\xbb\xbf\"g\",\"y\"\n\"1\",1\n1,\"3\"\n\"2\",2\n2,6\n", {},
         {4, 0, 0, {2}, {0}, 4.0}},
        {"quoted separators, line ends and quotes in an unused column", "n,g,y\n\"a,\"\"b\"\"\nc\",1,1\nx,1,3\n,2,2\n,2,6\n", {},
         {4, 0, 0, {2}, {0}, 4.0}},
        {"text levels", "g,y\nS10,1\nS10,3\nS9,2\nS9,6\n", {}, {4, 0, 0, {2}, {0}, 4.0}},
        {"7 and 07 are two levels", "g,y\n7,1\n07,3\n2,2\n2,6\n", {}, {4, 0, 0, {3}, {0}, 6.0}},
        {"NA, empty and . are missing", "g,y\n1,1\n1,3\n2,2\n2,6\n1,NA\n2,\n2,.\n", {}, {4, 3, 0, {2}, {3}, 4.0}},
        {"a numeric code matches the same number", "g,y\n1,1\n1,3\n2,2\n2,6\n1,-9.0\n", {"--missing", "-9"},
         {4, 1, 0, {2}, {1}, 4.0}},
        {"a text code", "g,y\n1,1\n1,3\n2,2\n2,6\n1,n/a\n", {"--missing", "n/a"}, {4, 1, 0, {2}, {1}, 4.0}},
        {"a missing factor value", "g,y\n1,1\n1,3\n2,2\n2,6\nNA,5\n,5\n", {}, {4, 2, 2, {2}, {0}, 4.0}},
        {"a missing code in a factor column", "g,y\n1,1\n1,3\n2,2\n2,6\n0,5\n", {"--missing", "0"}, {4, 1, 1, {2}, {0}, 4.0}},
        {"codes split at blanks and commas", "g,y\n1,1\n1,3\n2,2\n2,6\n1,-9\n2,-99\n0,n/a\n",
         {"--missing", " -9 -99,\t0  n/a"}, {4, 3, 1, {2}, {3}, 4.0}},
        {"a code that matched no cell", "g,y\n1,1\n1,3\n2,2\n2,6\n1,-9\n", {"--missing", "-9,-999 n/a"},
         {4, 1, 0, {2}, {1}, 4.0},
         "Warning: the missing codes '-999', 'n/a' given with --missing matched no cell of 't.csv'.\n"},
        {"a bad row of long UTF-8 text, shortened between characters",
         "g,y\n1,1\n1,3\n2,2\n2,6\n1," + e_acute(40) + "\n", {"--skip-bad-rows"}, {4, 0, 0, {2}, {0}, 4.0},
         "line 6: column 2 (y) holds '" + e_acute(18) + "....\n"},
        {"a trait named factor beside cases missing a factor", "g,factor\n1,1\n1,3\n2,2\n2,6\nNA,5\n1,NA\n",
         {"--traits", "factor"}, {4, 2, 1, {2}, {1}, 4.0},
         "Warning: 1 case(s) have no value of factor.\nWarning: 1 case(s) were skipped for a missing factor value"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TarvelRun run;
        run.write("t.csv", c.text);
        Args args{"t.csv", "--model", "g", "--json", "r.json"};
        if (std::find(c.args.begin(), c.args.end(), "--traits") == c.args.end()) args.insert(args.end(), {"--traits", "y"});
        args.insert(args.end(), c.args.begin(), c.args.end());
        const RunResult r = run.run_args(args);
        ASSERT_EQ(r.exit_status, 0) << r.standard_error;
        EXPECT_NE(r.standard_error.find(c.warning), std::string::npos) << r.standard_error;
        const auto warns_of_codes = [](const std::string& text) { return text.find("given with --missing") != std::string::npos; };
        EXPECT_EQ(warns_of_codes(r.standard_error), warns_of_codes(c.warning)) << r.standard_error;
        const Reading got = reading_of(json::parse(run.read("r.json")));
        EXPECT_EQ(got.accepted, c.expected.accepted);
        EXPECT_EQ(got.skipped, c.expected.skipped);
        EXPECT_EQ(got.skipped_missing_factor, c.expected.skipped_missing_factor);
        EXPECT_EQ(got.levels, c.expected.levels);
        EXPECT_EQ(got.missing, c.expected.missing);
        EXPECT_NEAR(got.first_ss, c.expected.first_ss, 1e-9);
    }
}

TEST(TableRun, WhichFilesAreTables) {
    const std::string table = "g,y\n1,1\n1,3\n2,2\n2,6\n";
    const std::string data_file = "MOD = A\n{y}\n1 1\n1 3\n2 2\n2 6\n";
    const struct {
        const char* file;
        std::string text;
        Args args;
        int exit_status;
        std::string message;  // on standard error; empty: none
    } cases[] = {
        {"t.csv", table, {"--model", "g", "--traits", "y"}, 0, ""},
        {"t.TSV", "g\ty\n1\t1\n1\t3\n2\t2\n2\t6\n", {"--model", "g", "--traits", "y"}, 0, ""},
        {"t.txt", table, {"--model", "g", "--traits", "y"}, 0, ""},       // its header holds the model's columns
        {"t.txt", data_file, {}, 0, ""},                                  // a data file with a head stays one
        {"t.txt", data_file, {"--model", "A", "--traits", "{y}"}, 0, ""}, // its first line holds no column A
        {"t.dat", table, {"--table", "--model", "g", "--traits", "y"}, 0, ""},
        {"t.dat", table, {"--table", "--traits", "y"}, 2, "a table needs --model, naming its columns"},
        {"t.csv", data_file, {"--model", "A", "--traits", "{y}"}, 0, ""},  // a data file of factor letters
        {"t.csv", table, {"--model", "sire", "--traits", "y"}, 1, "Invalid model specified! The header (line 1) of "
                                                                   "'t.csv' has no column 'sire' (term 1); the "
                                                                   "nearest is 'g'."},
        {"t.csv", table, {"--model", "g"}, 2, "a table needs --traits, naming its trait columns"},
        // A header that cannot be read: read as a data file, as the message says.
        {"t.csv", "a,a,y\n1,2,3\n", {"--model", "a", "--traits", "y"}, 1,
         "No trait specified! The trait text 'y' holds no name in braces.\n't.csv' was read as a data file with a "
         "head of keyword lines (MOD, FMT, traits in braces), for its first line is not a header that holds the "
         "columns of the model; give --table to read it as a table."},
        {"t.csv", table, {"--table", "--model", "g", "--traits", "y", "--format", "(2F2.0)"}, 2,
         "--format: a table has no data format"},
        {"t.csv", table, {"--model", "g", "--traits", "y", "--sep", "ab"}, 2,
         "--sep: 'ab' is not a separator (, ; tab or one character)"},
        {"t.dat", data_file, {"--sep", ";"}, 2, "--sep: only a table has a separator (see --table)"},
        {"t.dat", data_file, {"--skip-bad-rows"}, 2, "--skip-bad-rows: only for a table (see --table)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.file) + " " + (c.args.empty() ? "" : c.args[0]));
        TarvelRun run;
        run.write(c.file, c.text);
        Args args{c.file};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const RunResult r = run.run_args(args);
        EXPECT_EQ(r.exit_status, c.exit_status);
        if (c.message.empty()) EXPECT_EQ(r.standard_error, "");
        else EXPECT_NE(r.standard_error.find("Error Message: " + c.message + "\n"), std::string::npos) << r.standard_error;
        if (c.exit_status == 0) {
            EXPECT_NE(run.read("tarvel.lst").find("Numbers of Cases Accepted =      4"), std::string::npos);
            EXPECT_EQ(run.exists("KIRV.IN_"), c.text != data_file);  // a table's run writes it without --print
        }
    }
}

}  // namespace

namespace {

// The header of the expected-mean-square table shows 16 characters of each
// name. Effects of factor letters are cut there, as their listings always
// had them; the names of a table's columns are shortened so that no two
// look alike.
TEST(TableRun, LongNamesInTheHeaderOfTheExpectedMeanSquares) {
    std::string letters = "MOD = A*B*C*D*E*F*G*H*J + A*B*C*D*E*F*G*H*K\n{y}\n";
    std::string table = "weaning_weight_group_a,weaning_weight_group_b,y\n";
    for (int k = 0; k < 12; ++k) {
        const std::string j = std::to_string(k % 2 + 1), l = std::to_string(k / 2 % 3 + 1), y = std::to_string(k * k % 7);
        letters += "1 1 1 1 1 1 1 1 1 " + j + " " + l + " " + y + "\n";
        table += j + "," + l + "," + y + "\n";
    }
    const struct {
        const char* file;
        std::string text;
        Args args;
        std::string last, first;  // the two effects in the header, the last first
    } cases[] = {
        {"d.dat", letters, {}, "A*B*C*D*E*F*G*H*", "A*B*C*D*E*F*G*H*"},
        {"t.csv", table, {"--model", "weaning_weight_group_a + weaning_weight_group_b", "--traits", "y"},
         "weaning_~group_b", "weaning_~group_a"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        TarvelRun run;
        run.write(c.file, c.text);
        Args args{c.file};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const RunResult r = run.run_args(args);
        ASSERT_EQ(r.exit_status, 0) << r.standard_error;
        const std::vector<std::string> listing = run.records("tarvel.lst");
        EXPECT_NE(std::find(listing.begin(), listing.end(),
                            " Source                    df       " + c.last + c.first + "Mean            "),
                  listing.end());
    }
}

// The export file that a table run writes by default gives way to a sum of
// squares beyond its 4-byte reals: the run completes without it (and without
// an earlier one), with a warning. Asked for with --print kirv, the value
// stops the run.
TEST(TableRun, TheDefaultExportGivesWayToValuesItCannotHold) {
    std::string huge = "g,y\n";
    for (int k = 0; k < 4; ++k) huge += "g0,0e20\ng1,1e20\ng2,2e20\n";
    const struct {
        const char* name;
        Args print;
        int status;
        std::string message;
        std::vector<std::string> files;
    } cases[] = {
        {"by default", {}, 0,
         "Warning: the export file KIRV.IN_ for kirv is not written: the sum of squares of effect g for trait y is "
         "8.00e+40, beyond its 4-byte reals (up to 3.40e+38). Rescale the trait (divide it by a power of ten) to "
         "analyse it with kirv.\n",
         {"r.json", "t.csv", "tarvel.lst"}},
        {"asked for", {"--print", "kirv"}, 1,
         "Error Message: Value too large! The sum of squares of effect g for trait y is 8.00e+40, beyond the 4-byte "
         "reals (up to 3.40e+38) of the export file KIRV.IN_. Rescale the trait (divide it by a power of ten) and run "
         "again.\n",
         {"KIRV.IN_", "t.csv"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TarvelRun run;
        run.write("t.csv", huge);
        run.write("KIRV.IN_", "earlier");
        Args args{"t.csv", "--model", "g", "--traits", "y", "--json", "r.json"};
        args.insert(args.end(), c.print.begin(), c.print.end());
        const RunResult r = run.run_args(args);
        EXPECT_EQ(r.exit_status, c.status);
        EXPECT_EQ(r.standard_error, c.message);
        EXPECT_EQ(run.files(), c.files);
    }
}

}  // namespace
