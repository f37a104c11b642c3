# benchmarks: tarvel
# bench_reduction [order ...]: blocked reduction against LAPACK dpotrf of the
# same order, and the accumulation of 10^6 cases (plain timing executable).
add_executable(bench_reduction bench_reduction.cpp)
target_link_libraries(bench_reduction PRIVATE tarvel_stages)
tk_target_options(bench_reduction)
