# benchmarks: kirv
if(benchmark_FOUND)
  add_executable(bench_bending bench_bending.cpp)
  target_link_libraries(bench_bending PRIVATE kirv_stages benchmark::benchmark benchmark::benchmark_main)
  tk_target_options(bench_bending)
endif()
