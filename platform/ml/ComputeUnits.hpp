#pragma once

namespace platform::ml {

// Where a model may run. Every choice runs on the CPU here.
enum class ComputeUnits : int {
    cpuOnly = 0,
    cpuAndGPU = 1,
    all = 2,
    cpuAndNeuralEngine = 3,
};

struct ModelConfiguration {
    ComputeUnits computeUnits = ComputeUnits::all;
};

struct PredictionOptions {};

}  // namespace platform::ml
