#pragma once

#include <optional>

#include "platform/ml/ComputeUnits.hpp"

namespace DovuzudUza {

// The compute units of the three pipeline models. Our runtime has no
// neural engine, so the encoder's default is the GPU choice, the branch for
// a platform whose encoder does not run there.
struct ModelComputeOptions {
    using ComputeUnits = platform::ml::ComputeUnits;

    ModelComputeOptions() = default;
    ModelComputeOptions(ComputeUnits melCompute, std::optional<ComputeUnits> audioEncoderCompute,
                        ComputeUnits textDecoderCompute)
        : melCompute(melCompute),
          audioEncoderCompute(audioEncoderCompute.value_or(defaultAudioEncoderCompute())),
          textDecoderCompute(textDecoderCompute) {}

    static constexpr ComputeUnits defaultAudioEncoderCompute() { return ComputeUnits::cpuAndGPU; }

    ComputeUnits melCompute = ComputeUnits::cpuAndGPU;
    ComputeUnits audioEncoderCompute = defaultAudioEncoderCompute();
    ComputeUnits textDecoderCompute = ComputeUnits::cpuAndNeuralEngine;

    bool operator==(const ModelComputeOptions&) const = default;
};

}  // namespace DovuzudUza
