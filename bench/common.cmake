# benchmarks: common
