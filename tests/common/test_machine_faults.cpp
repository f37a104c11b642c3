// Faults of the machine, end to end: read and write errors, full disks,
// signals, a second run in a directory, and the names results files may take.
// Every run ends complete and correct, or with a message and a failing
// status and no result under a name that could pass for its own.
#include <gtest/gtest.h>

#include "tests/common/run_support.hpp"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

namespace {

using Args = std::vector<std::string>;
using Names = std::vector<std::string>;
using tk_test::TempDir;

const std::string tarvel = std::string(TK_BINARY_DIR) + "/tarvel/tarvel";
const std::string kirv = std::string(TK_BINARY_DIR) + "/kirv/kirv";

// The shim and its rules (see fault_shim.c); a program built with the
// address sanitizer takes the shim only when told to.
std::map<std::string, std::string> with_faults(const std::string& faults, const std::string& paused = "") {
    const char* asan = std::getenv("ASAN_OPTIONS");
    std::string options = asan ? std::string(asan) + ":" : std::string();
    options += "verify_asan_link_order=0";
    std::map<std::string, std::string> environment{
        {"LD_PRELOAD", TK_FAULT_SHIM}, {"TK_FAULTS", faults}, {"ASAN_OPTIONS", options}};
    if (!paused.empty()) environment["TK_FAULT_PAUSED"] = paused;
    return environment;
}

// Model A + B, one trait, about 11 bytes a case: 120000 cases pass 1 MB, the
// reader's first read.
// The head is a data file's head or a table's header of columns a, b and y.
std::string generated_cases(int cases, const std::string& head = "Generated\nMOD = A + B\nMIS = -999\n{Weight}\n",
                            char separator = ' ') {
    std::string text = head;
    for (int i = 0; i < cases; ++i) {
        text += std::to_string(i % 20 + 1);
        text += separator;
        text += std::to_string(i % 7 + 1);
        text += separator;
        text += std::to_string(100 + (i * 37) % 91);
        text += ".5\n";
    }
    return text;
}

const std::string& big_data() {
    static const std::string text = generated_cases(120000);
    return text;
}

// The same cases as a table with a header.
const std::string& big_table() {
    static const std::string text = generated_cases(120000, "a,b,y\n", ',');
    return text;
}

const char* const kirv_data = "DF = 10 20\n{A}\nGEN = 1\nEMS UP\n1 1\n1\nSS\n30\n40\n";

// The files of earlier runs that each test starts from; another run's
// temporary file is among them and must survive every run.
const std::map<std::string, std::string> tarvel_earlier = {
    {"tarvel.lst", "earlier listing\r\n"},     {"tanv~tm1.$$$", "earlier results\r\n"},
    {"KIRV.IN_", "earlier export\r\n"},        {"r.json", "{\"earlier\": true}\n"},
    {"tarvel.lst.part-other1", "another run's\r\n"}};
const std::map<std::string, std::string> kirv_earlier = {{"kirv.lst", "earlier listing\r\n"},
                                                         {"r.json", "{\"earlier\": true}\n"}};

// A directory with the data file, the earlier files and, for a host run (no
// arguments), the control file.
struct RunDirectory {
    TempDir dir;
    bool tarvel_run;
    RunDirectory(bool is_tarvel, const Args& args, const std::string& data = big_data()) : tarvel_run(is_tarvel) {
        dir.write(is_tarvel ? "data.txt" : "d.kin", is_tarvel ? data : kirv_data);
        for (const auto& [name, text] : earlier()) dir.write(name, text);
        if (args.empty())
            dir.write(is_tarvel ? "tanv~tm0.$$$" : "tanv~tm3.$$$",
                      is_tarvel ? "0 1 10 10 10 10\ndata.txt\n\n\n\n\n\nKIRV\n" : "0 1\nd.kin\n\n\n\n\n\n\n");
    }
    const std::map<std::string, std::string>& earlier() const { return tarvel_run ? tarvel_earlier : kirv_earlier; }
    const std::string& program() const { return tarvel_run ? tarvel : kirv; }
    std::string data_name() const { return tarvel_run ? "data.txt" : "d.kin"; }

    // The files there now, besides the data file.
    Names files() const {
        Names names;
        for (const std::string& name : tk_test::files_in(dir))
            if (name != data_name()) names.push_back(name);
        return names;
    }
    // The earlier files still there hold what they held.
    void expect_earlier_untouched(const std::string& label) const {
        for (const auto& [name, text] : earlier())
            if (std::filesystem::exists(dir.path / name)) {
                EXPECT_EQ(dir.read(name), text) << label << ": " << name;
            }
    }
};

Names sorted(Names names) {
    std::sort(names.begin(), names.end());
    return names;
}

bool nameless_files_here(const std::filesystem::path& directory) {
    const int fd = ::open(directory.c_str(), O_TMPFILE | O_WRONLY, 0600);
    if (fd < 0) return false;
    ::close(fd);
    return true;
}

// ------------------------------------------------------------ read and write errors

TEST(MachineFaults, ReadAndWriteErrorsEndTheRunWithoutResults) {
    const struct {
        const char* name;
        bool tarvel;
        Args args;  // none: the host protocol
        std::string faults;
        int status;
        Names boxes;
        Names files;  // left besides the data file
    } cases[] = {
        {"read error in the middle of the data file", true, {}, "read:data.txt:@600000:EIO", 0,
         {"Cannot read the file 'data.txt': Input/output error.", "Error in running TARVEL module!"},
         {"KIRV.IN_", "r.json", "tarvel.lst.part-other1"}},
        {"read error in the search for the missing values", true, {"data.txt", "--json", "r.json"},
         "read:data.txt:@0:EIO", 1, {"Cannot read the file 'data.txt': Input/output error."},
         {"KIRV.IN_", "tanv~tm1.$$$", "tarvel.lst.part-other1"}},
        {"read error in the middle of a table", true,
         {"data.txt", "--table", "--model", "a + b", "--traits", "y", "--json", "r.json"}, "read:data.txt:@600000:EIO",
         1, {"Cannot read the file 'data.txt': Input/output error."},
         {"KIRV.IN_", "tanv~tm1.$$$", "tarvel.lst.part-other1"}},
        {"seek error on the data file", true, {"data.txt"}, "lseek:data.txt:0:EIO", 1,
         {"Cannot go back to the start of the file 'data.txt': Input/output error."},
         {"KIRV.IN_", "r.json", "tanv~tm1.$$$", "tarvel.lst.part-other1"}},
        {"full disk under the results", true, {}, "write:(deleted):0:ENOSPC;write:.part-:0:ENOSPC", 0,
         {"Cannot write the file 'tarvel.lst': No space left on device.", "Error in running TARVEL module!"},
         {"KIRV.IN_", "r.json", "tarvel.lst.part-other1"}},
        {"export file not flushed to disk", true, {"data.txt", "--print", "kirv", "--json", "r.json"},
         "tmpfile:*:0:EOPNOTSUPP;fsync:KIRV.IN_.part-:0:EIO", 1,
         {"Cannot write the file 'KIRV.IN_': Input/output error."},
         {"KIRV.IN_", "tanv~tm1.$$$", "tarvel.lst.part-other1"}},
        {"JSON file not put in place", true, {"data.txt", "--json", "r.json"},
         "linkat:r.json:0:EACCES;rename:r.json:0:EACCES", 1, {"Cannot write the file 'r.json': Permission denied."},
         {"KIRV.IN_", "tanv~tm1.$$$", "tarvel.lst.part-other1"}},
        {"no nameless files: random names", true, {"data.txt", "--print", "kirv", "--json", "r.json"},
         "tmpfile:*:0:EOPNOTSUPP", 0, {},
         {"KIRV.IN_", "r.json", "tanv~tm1.$$$", "tarvel.lst", "tarvel.lst.part-other1"}},
        {"control file that cannot be deleted", true, {}, "unlink:tanv~tm0:0:EPERM", 0,
         {"Cannot delete the control file \"tanv~tm0.$$$\": Operation not permitted. The run stops, for the next "
          "start would run the same job again."},
         {"KIRV.IN_", "r.json", "tanv~tm0.$$$", "tarvel.lst", "tarvel.lst.part-other1"}},
        {"kirv: read error on the data file", false, {}, "read:d.kin:@0:EIO", 0,
         {"Cannot read the file 'd.kin': Input/output error.", "Error in running KIRV module!"}, {"r.json"}},
        {"kirv: JSON file not flushed to disk", false, {"d.kin", "--json", "r.json"},
         "tmpfile:*:0:EOPNOTSUPP;fsync:r.json.part-:0:EIO", 1,
         {"Cannot write the JSON file r.json (Input/output error)!"}, {}},
        {"kirv: control file that cannot be deleted", false, {}, "unlink:tanv~tm3:0:EPERM", 0,
         {"The control file tanv~tm3.$$$ cannot be deleted (Operation not permitted); the run stops, for the next "
          "start would run the same job again!"},
         {"kirv.lst", "r.json", "tanv~tm3.$$$"}},
    };
    for (const auto& c : cases) {
        const bool table = std::find(c.args.begin(), c.args.end(), "--table") != c.args.end();
        RunDirectory run(c.tarvel, c.args, table ? big_table() : big_data());
        const tk_test::ProgramRun r = tk_test::run_program(run.program(), run.dir.path, c.args, with_faults(c.faults));
        EXPECT_EQ(r.exit_status, c.status) << c.name;
        EXPECT_EQ(tk_test::boxes_of(r.standard_error), c.boxes) << c.name;
        EXPECT_EQ(run.files(), sorted(c.files)) << c.name;  // no temporary file of this run is left
        if (!c.boxes.empty()) {
            run.expect_earlier_untouched(c.name);
        } else {
            EXPECT_NE(run.dir.read("tarvel.lst").find("VORNA"), std::string::npos) << c.name;
        }
    }
}

// A disk that fills up, on a private tmpfs of the test's own (where the
// machine lets a user mount one).
TEST(MachineFaults, FullDisks) {
    TempDir probe;
    std::filesystem::create_directory(probe.path / "mnt");
    const tk_test::ProgramRun allowed = tk_test::run_program(
        "/usr/bin/unshare", probe.path, {"-rm", "sh", "-c", "mount -t tmpfs -o size=64k tmpfs mnt"});
    if (allowed.exit_status != 0)
        GTEST_SKIP() << "private tmpfs mounts through unshare are not allowed here: " << allowed.standard_error;

    // The scratch file: TMPDIR on a 64 KB disk, 20000 cases of 12 bytes. The
    // last block only goes out when the file is read back.
    const struct {
        const char* name;
        Args args;
        int status;
        Names boxes;
        Names files;
    } cases[] = {
        {"scratch disk full, host", {}, 0,
         {"Cannot write the scratch file in 'mnt': No space left on device. Is the disk full? The environment "
          "variable TMPDIR names the folder for it.",
          "Error in running TARVEL module!"},
         {"KIRV.IN_", "mnt", "r.json", "tarvel.lst.part-other1"}},
        {"scratch disk full, command line", {"data.txt", "--json", "r.json"}, 1,
         {"Cannot write the scratch file in 'mnt': No space left on device. Is the disk full? The environment "
          "variable TMPDIR names the folder for it."},
         {"KIRV.IN_", "mnt", "tanv~tm1.$$$", "tarvel.lst.part-other1"}},
    };
    for (const auto& c : cases) {
        RunDirectory run(true, c.args, generated_cases(20000));
        std::filesystem::create_directory(run.dir.path / "mnt");
        std::string script = "mount -t tmpfs -o size=64k tmpfs mnt && TMPDIR=mnt exec ";
        script += tk_test::shell_quoted(tarvel);
        for (const std::string& arg : c.args) {
            script += ' ';
            script += tk_test::shell_quoted(arg);
        }
        const tk_test::ProgramRun r = tk_test::run_program("/usr/bin/unshare", run.dir.path, {"-rm", "sh", "-c", script});
        EXPECT_EQ(r.exit_status, c.status) << c.name;
        EXPECT_EQ(tk_test::boxes_of(r.standard_error), c.boxes) << c.name;
        EXPECT_EQ(run.files(), sorted(c.files)) << c.name;
        run.expect_earlier_untouched(c.name);
    }

    // The results: the run's own directory is a disk of one page, which the
    // data file fills. What is left there is listed from inside the mount.
    TempDir outside;
    std::filesystem::create_directory(outside.path / "run");
    const std::string script = "mount -t tmpfs -o size=4k tmpfs run && cd run && printf 'MOD=A\\n{Y}\\n1 2\\n2 3\\n1 4\\n' > d.txt"
                               " && " + tk_test::shell_quoted(tarvel) + " d.txt --json r.json; s=$?; ls -A > ../left; exit $s";
    const tk_test::ProgramRun r = tk_test::run_program("/usr/bin/unshare", outside.path, {"-rm", "sh", "-c", script});
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_EQ(tk_test::boxes_of(r.standard_error), Names{"Cannot write the file 'tarvel.lst': No space left on device."});
    EXPECT_EQ(outside.read("left"), "d.txt\n");
}

// ------------------------------------------------------------ signals

TEST(MachineFaults, SignalsEndARunInOrder) {
    const struct {
        const char* name;
        bool tarvel;
        Args args;
        std::string faults;  // where the run waits for the signal
        int signal;
        int status;  // -1: killed
    } cases[] = {
        {"SIGINT, command line, named temporary files", true, {"data.txt", "--print", "kirv", "--json", "r.json"},
         "tmpfile:*:0:EOPNOTSUPP;read:data.txt:@600000:pause", SIGINT, 130},
        {"SIGTERM, host", true, {}, "read:data.txt:@600000:pause", SIGTERM, 255},
        {"SIGKILL, command line", true, {"data.txt", "--print", "kirv", "--json", "r.json"},
         "read:data.txt:@600000:pause", SIGKILL, -1},
        {"kirv: SIGTERM, command line, named temporary files", false, {"d.kin", "--json", "r.json"},
         "tmpfile:*:0:EOPNOTSUPP;read:d.kin:@0:pause", SIGTERM, 143},
    };
    for (const auto& c : cases) {
        RunDirectory run(c.tarvel, c.args);
        if (c.signal == SIGKILL && !nameless_files_here(run.dir.path)) {
            std::cout << "[ SKIPPED  ] " << c.name << ": no nameless files on this file system; a run killed there "
                      << "leaves its temporary files\n";
            continue;
        }
        const std::string paused = run.dir.path.string() + ".paused";
        const tk_test::StartedProgram started =
            tk_test::start_program(run.program(), run.dir.path, c.args, with_faults(c.faults, paused));
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (!std::filesystem::exists(paused) && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ASSERT_TRUE(std::filesystem::exists(paused)) << c.name;
        ::kill(started.pid, c.signal);
        const tk_test::ProgramRun r = tk_test::finish_program(started);
        std::filesystem::remove(paused);
        EXPECT_EQ(r.exit_status, c.status) << c.name;
        if (c.signal != SIGKILL) {
            const std::string name = c.signal == SIGINT ? "SIGINT" : "SIGTERM";
            EXPECT_EQ(tk_test::boxes_of(r.standard_error), Names{"The run was stopped by " + name + "; it wrote no results."})
                << c.name;
        }
        Names earlier;
        for (const auto& [name, text] : run.earlier()) earlier.push_back(name);
        EXPECT_EQ(run.files(), sorted(earlier)) << c.name;  // the control file was read; nothing else changed
        run.expect_earlier_untouched(c.name);
    }
}

// ------------------------------------------------------------ one host run per directory

TEST(MachineFaults, ASecondHostRunInADirectoryTouchesNothing) {
    for (bool is_tarvel : {true, false}) {
        RunDirectory run(is_tarvel, {}, generated_cases(10));
        const Names before = run.files();
        const int held = ::open(run.dir.path.c_str(), O_RDONLY | O_DIRECTORY);
        ASSERT_EQ(::flock(held, LOCK_EX), 0);  // another run holds the directory
        const tk_test::ProgramRun busy = tk_test::run_program(run.program(), run.dir.path, {});
        EXPECT_EQ(busy.exit_status, 255);
        EXPECT_EQ(tk_test::boxes_of(busy.standard_error),
                  Names{"Another run is using this directory; only one run at a time is supported in a directory. "
                        "This run did not start and changed no file: run it again when the other has ended, or in "
                        "another directory."});
        EXPECT_EQ(run.files(), before);  // the control file too
        run.expect_earlier_untouched("busy");
        ::close(held);
        const tk_test::ProgramRun later = tk_test::run_program(run.program(), run.dir.path, {});
        EXPECT_EQ(later.exit_status, 0);
        EXPECT_EQ(tk_test::without_warnings(later.standard_error), "");
    }
}

// ------------------------------------------------------------ names of results files

TEST(MachineFaults, NamesOfResultsFiles) {
    const std::string long_name = std::string(250, 'n') + ".lst";  // NAME_MAX: 255
    const struct {
        const char* name;
        bool tarvel;
        Args args;
        std::string control;  // for a host run
        int status;
        std::string error;    // the first message
        std::string written;  // the file that holds the listing afterwards
    } cases[] = {
        {"JSON to a device", true, {"data.txt", "--json", "/dev/null"}, "", 0, "", "tarvel.lst"},
        {"JSON to /dev/stdout, a file held open", true, {"data.txt", "--json", "/dev/stdout"}, "", 0, "", "tarvel.lst"},
        {"listing through a symbolic link", true, {"data.txt", "-o", "link.lst"}, "", 0, "", "real.lst"},
        {"listing name of NAME_MAX characters", true, {"data.txt", "-o", long_name}, "", 0, "", long_name},
        {"'--' ends the options", true, {"--", "-d.txt"}, "", 0, "", "tarvel.lst"},
        {"listing named as the export file", true, {}, "0 1 0 0 0 0\ndata.txt\nKIRV.IN_\n\n\n\n\n\n", 0,
         "The listing file 'KIRV.IN_' is tarvel's own file KIRV.IN_; give the listing another name.", ""},
        {"JSON named as the host's results", true, {"data.txt", "--json", "./tanv~tm1.$$$"}, "", 2,
         "--json: './tanv~tm1.$$$' is the program's own file tanv~tm1.$$$", ""},
        {"kirv: listing named as the summary file", false, {}, "0 1\nd.kin\ntanv~tm4.$$$\n\n\n\n\n\n", 0,
         "The listing file tanv~tm4.$$$ is kirv's own file tanv~tm4.$$$; give the listing another name!", ""},
        {"kirv: '--' ends the options", false, {"--", "-d.kin"}, "", 0, "", "kirv.lst"},
        // A failed run leaves a linked listing and the file it leads to as they were.
        {"failed run, listing through a link", true, {"data.txt", "-o", "link.lst", "--model", "1+2"}, "", 1,
         "Invalid model specified!", ""},
        {"failed host run, listing through a link", true, {}, "0 1 100 100 100 100\ndata.txt\nlink.lst\n1+2\n\n\n\n\n",
         0, "Invalid model specified!", ""},
        {"kirv: failed run, listing through a link", false, {"d.kin", "-o", "link.lst", "--genetic-group", "9"}, "",
         1, "Error ID of genetic group specified!", ""},
        // A character device takes any number of outputs; a FIFO one only.
        {"listing and JSON to /dev/null", true, {"data.txt", "-o", "/dev/null", "--json", "/dev/null"}, "", 0, "", ""},
        {"kirv: listing and JSON to /dev/null", false, {"d.kin", "-o", "/dev/null", "--json", "/dev/null"}, "", 0, "",
         ""},
        {"listing and JSON to one FIFO", true, {"data.txt", "-o", "fifo", "--json", "fifo"}, "", 2,
         "--json: 'fifo' is the listing file", ""},
    };
    for (const auto& c : cases) {
        TempDir dir;
        dir.write("data.txt", generated_cases(30));
        dir.write("-d.txt", generated_cases(30));
        dir.write("d.kin", kirv_data);
        dir.write("-d.kin", kirv_data);
        dir.write("real.lst", "earlier\r\n");
        std::filesystem::create_symlink("real.lst", dir.path / "link.lst");
        ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);
        if (!c.control.empty()) dir.write(c.tarvel ? "tanv~tm0.$$$" : "tanv~tm3.$$$", c.control);
        const tk_test::ProgramRun r = tk_test::run_program(c.tarvel ? tarvel : kirv, dir.path, c.args);
        EXPECT_EQ(r.exit_status, c.status) << c.name;
        if (c.args.size() > 2 && c.args[2] == "/dev/stdout") {
            EXPECT_EQ(r.standard_output.rfind("{\n  \"program\": \"tarvel\"", 0), 0u) << c.name;
        }
        const Names boxes = tk_test::boxes_of(r.standard_error);
        EXPECT_EQ(boxes.empty() ? std::string() : boxes.front(), c.error) << c.name;
        if (!c.written.empty()) {
            EXPECT_NE(dir.read(c.written).find(c.tarvel ? "VORNA" : "M E M O"), std::string::npos) << c.name;
        }
        EXPECT_TRUE(std::filesystem::is_symlink(dir.path / "link.lst")) << c.name;
        EXPECT_TRUE(std::filesystem::is_character_file("/dev/null")) << c.name;
        if (c.written != "real.lst") {
            EXPECT_EQ(dir.read("real.lst"), "earlier\r\n") << c.name;  // failed runs too
        }
    }
}

// A write-protected listing is kept (not replaced, not removed), as opening
// it for writing would keep it, and nothing is written into a folder that
// cannot be written in: the options are refused before the run. Root may
// write any file, so as root the run is made as the user "nobody".
TEST(MachineFaults, WriteProtectedFilesAndFolders) {
    const struct {
        const char* name;
        Args args;
        mode_t folder_mode;
        std::string error;
    } cases[] = {
        {"write-protected listing", {"data.txt"}, 0777, "-o: 'tarvel.lst' cannot be written: Permission denied"},
        {"export into a read-only folder", {"data.txt", "--print", "kirv", "-o", "/dev/null"}, 0555,
         "the export file KIRV.IN_ cannot be written: cannot write in the folder '.': Permission denied"},
    };
    for (const auto& c : cases) {
        TempDir dir;
        dir.write("data.txt", generated_cases(30));
        dir.write("tarvel.lst", "earlier\r\n");
        ::chmod(dir.file("data.txt").c_str(), 0644);
        ::chmod(dir.file("tarvel.lst").c_str(), 0444);
        ::chmod(dir.path.c_str(), c.folder_mode);
        const bool root = ::geteuid() == 0;
        Args as_nobody = {"--reuid=65534", "--regid=65534", "--clear-groups", tarvel};
        as_nobody.insert(as_nobody.end(), c.args.begin(), c.args.end());
        const tk_test::ProgramRun r = root ? tk_test::run_program("/usr/bin/setpriv", dir.path, as_nobody)
                                           : tk_test::run_program(tarvel, dir.path, c.args);
        ::chmod(dir.path.c_str(), 0777);  // for the clean-up
        if (root && (r.exit_status == 126 || r.exit_status == 127 || r.exit_status == -1))
            GTEST_SKIP() << "cannot run the program as another user here: " << r.standard_error;
        EXPECT_EQ(r.exit_status, 2) << c.name;
        EXPECT_EQ(tk_test::boxes_of(r.standard_error), Names{c.error}) << c.name;
        EXPECT_EQ(dir.read("tarvel.lst"), "earlier\r\n") << c.name;
        EXPECT_EQ(tk_test::files_in(dir), (Names{"data.txt", "tarvel.lst"})) << c.name;
    }
}

// ------------------------------------------------------------ values and capacities

// Sums of squares beyond the 4-byte range stop a run whose matrices go to a
// 4-byte file; the JSON carries them.
TEST(MachineFaults, ValuesBeyondTheFourByteRange) {
    const std::string data = "MOD=A\n{Y}\n1 1e20\n1 3e20\n2 5e20\n2 -4e20\n3 2e20\n3 9e20\n";
    const std::string message = "Value too large! The sum of squares of effect A for trait Y is 2.63e+41, beyond the "
                                "4-byte reals (up to 3.40e+38) of ";
    const struct {
        const char* name;
        Args args;
        std::string control;
        int status;
        Names boxes;
        Names files;
    } cases[] = {
        {"export file", {"data.txt", "--print", "kirv"}, "", 1,
         {message + "the export file KIRV.IN_. Rescale the trait (divide it by a power of ten) and run again."},
         {"data.txt"}},
        {"host's results file", {}, "0 0 10 10 10 10\ndata.txt\n\n\n\n\n\n\n", 0,
         {message + "the results file tanv~tm1.$$$. Rescale the trait (divide it by a power of ten) and run again.",
          "Error in running TARVEL module!"},
         {"data.txt"}},
        {"JSON only", {"data.txt", "--json", "r.json"}, "", 0, {}, {"data.txt", "r.json", "tarvel.lst"}},
    };
    for (const auto& c : cases) {
        TempDir dir;
        dir.write("data.txt", data);
        if (!c.control.empty()) dir.write("tanv~tm0.$$$", c.control);
        const tk_test::ProgramRun r = tk_test::run_program(tarvel, dir.path, c.args);
        EXPECT_EQ(r.exit_status, c.status) << c.name;
        EXPECT_EQ(tk_test::boxes_of(r.standard_error), c.boxes) << c.name;
        EXPECT_EQ(tk_test::files_in(dir), c.files) << c.name;
    }
}

// A host capacity far beyond what the run fills costs no memory: the record
// is written as zeros after the values.
TEST(MachineFaults, LargeHostCapacityTakesNoMemory) {
#ifdef __SANITIZE_ADDRESS__
    GTEST_SKIP() << "the address sanitizer reserves more memory than the limit allows";
#endif
    TempDir dir;
    dir.write("data.txt", generated_cases(30));
    dir.write("tanv~tm0.$$$", "0 1 20000000 10 10 10\ndata.txt\n\n\n\n\n\n\n");  // 160 MB as an array
    const std::string command = "ulimit -v 300000; exec " + tk_test::shell_quoted(tarvel);
    const tk_test::ProgramRun r =
        tk_test::run_program("/bin/sh", dir.path, {"-c", command}, {{"OPENBLAS_NUM_THREADS", "1"}});
    EXPECT_EQ(r.exit_status, 0);
    EXPECT_EQ(r.standard_error, "");
    const std::string results = dir.read("tanv~tm1.$$$");
    EXPECT_EQ(results.substr(0, 6), " 0 0 0");
    EXPECT_EQ(std::count(results.begin(), results.end(), '0'), 20000000 + 30);
}

}  // namespace
