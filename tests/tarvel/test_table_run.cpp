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
        EXPECT_NE(r.standard_error.find("2 bad row(s) of '"), std::string::npos) << r.standard_error;
        const json got = json::parse(run.read("r.json"));
        EXPECT_EQ(numbers_of(got), numbers_of(expected));
        EXPECT_EQ(got["effects"][1]["name"], "dam|sire");
        const json& report = got["table"];
        EXPECT_EQ(report["skipped_missing_factor"], table.unknown_dams);
        EXPECT_EQ(report["bad_rows_skipped"]["count"], 2);
        EXPECT_EQ(report["bad_rows_skipped"]["first"][1]["text"], "column 2 (wwt) holds 'n/a', which is not a number");
        // Every missing-value code of the letter-coded file, counted by trait.
        EXPECT_EQ(report["traits"][0]["missing"].get<int>() + report["traits"][1]["missing"].get<int>() +
                      report["traits"][2]["missing"].get<int>(),
                  occurrences(letter_coded, " -999"));
        const std::vector<std::string> listing = run.records("tarvel.lst");
        EXPECT_NE(std::find(listing.begin(), listing.end(),
                            " Note: " + std::to_string(table.unknown_dams) +
                                " case(s) skipped for a missing factor value: dam " +
                                std::to_string(table.unknown_dams) + "."),
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
