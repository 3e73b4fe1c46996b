#pragma once

#include "platform/ml/WhisperCheckpoint.hpp"

// The model sizes the benchmarks measure at (random weights are made for them).
namespace parlox::bench {

inline platform::ml::WhisperConfig largeV3TurboSize() {
    platform::ml::WhisperConfig c;
    c.numMelBins = 128;
    c.dModel = 1280;
    c.encoderAttentionHeads = c.decoderAttentionHeads = 20;
    c.encoderLayers = 32;
    c.decoderLayers = 4;
    c.encoderFfnDim = c.decoderFfnDim = 5120;
    c.vocabSize = 51866;
    return c;
}

inline platform::ml::WhisperConfig baseSize() {
    platform::ml::WhisperConfig c;
    c.numMelBins = 80;
    c.dModel = 512;
    c.encoderAttentionHeads = c.decoderAttentionHeads = 8;
    c.encoderLayers = c.decoderLayers = 6;
    c.encoderFfnDim = c.decoderFfnDim = 2048;
    c.vocabSize = 51865;
    return c;
}

}  // namespace parlox::bench
