# benchmarks: tarvel
