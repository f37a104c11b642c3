// Speed of the record writer and the free-form reader on one core.
//   writing rows of "(A8,2X,1000G15.8)": values per second (target: 5 million or more)
//   free-form reading of numeric case lines (factor codes and reals): MB/s (target: 200 or more)
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "common/files.hpp"
#include "common/format.hpp"
#include "common/freeform.hpp"

namespace {

double seconds_since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void bench_writer(const std::filesystem::path& dir) {
    std::mt19937 rng(1);
    std::normal_distribution<double> value(0.0, 1000.0);
    const int traits = 1000;
    std::vector<tk::Item> row;
    row.emplace_back("TRAIT001");
    std::vector<double> values(traits);
    for (double& v : values) v = value(rng);
    for (double v : values) row.emplace_back(v);
    tk::TextWriter out;
    out.open((dir / "rows.lst").string());
    const int rows = 5000;
    const auto start = std::chrono::steady_clock::now();
    for (int r = 0; r < rows; ++r) tk::write_formatted(out, "(A8,2X,1000G15.8)", row);
    out.close();
    const double elapsed = seconds_since(start);
    std::printf("writer: (A8,2X,1000G15.8) rows: %.2f million values/s (%d values in %.3f s)\n",
                rows * double(traits) / elapsed / 1e6, rows * traits, elapsed);
}

void bench_reader(const std::filesystem::path& dir) {
    const std::string path = (dir / "cases.dat").string();
    std::mt19937 rng(2);
    std::uniform_int_distribution<int> level(1, 400);
    std::normal_distribution<double> trait(250.0, 30.0);
    {
        std::FILE* f = std::fopen(path.c_str(), "wb");
        for (int i = 0; i < 2000000; ++i)
            std::fprintf(f, "%d %d %d %d %.2f %.2f %.3f\n", level(rng), level(rng), level(rng) % 5 + 1,
                         level(rng) % 2 + 1, trait(rng), trait(rng) / 2, trait(rng) / 20);
        std::fclose(f);
    }
    const double megabytes = double(std::filesystem::file_size(path)) / 1e6;
    tk::TextReader in;
    in.open(path);
    float v[7];
    long cases = 0;
    const auto start = std::chrono::steady_clock::now();
    while (tk::read_list(in, {v[0], v[1], v[2], v[3], v[4], v[5], v[6]}).ok()) ++cases;
    const double elapsed = seconds_since(start);
    std::printf("free-form reader: %.0f MB/s (%ld cases, %.1f MB in %.3f s)\n", megabytes / elapsed, cases,
                megabytes, elapsed);
}

}  // namespace

int main() {
    const auto dir = std::filesystem::temp_directory_path() / "tk-bench-format";
    std::filesystem::create_directories(dir);
    bench_writer(dir);
    bench_reader(dir);
    std::filesystem::remove_all(dir);
}
