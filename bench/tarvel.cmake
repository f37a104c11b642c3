# benchmarks: tarvel
# bench_reduction [order ...]: blocked reduction against LAPACK dpotrf of the
# same order, and the accumulation of 10^6 cases (plain timing executable).
add_executable(bench_reduction bench_reduction.cpp)
target_link_libraries(bench_reduction PRIVATE tarvel_stages)
tk_target_options(bench_reduction)
add_executable(gen_cases gen_cases.cpp)
tk_target_options(gen_cases)

if(benchmark_FOUND)
  add_executable(bench_read_cases bench_read_cases.cpp)
  target_link_libraries(bench_read_cases PRIVATE tarvel_stages benchmark::benchmark benchmark::benchmark_main)
  tk_target_options(bench_read_cases)
endif()

# bench_floors DATA [threads] [path]: parse, accumulation and dense-factor
# floors of a whole run (bench/run_tarvel.sh prints them beside the run).
add_executable(bench_floors bench_floors.cpp)
target_link_libraries(bench_floors PRIVATE tarvel_stages)
tk_target_options(bench_floors)
