# benchmarks: the shared foundation
add_executable(bench_format bench_format.cpp)
target_link_libraries(bench_format PRIVATE tkcommon)
tk_target_options(bench_format)
