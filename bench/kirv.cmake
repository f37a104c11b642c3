# benchmarks: kirv
