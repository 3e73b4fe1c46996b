#pragma once

#include <cstdint>
#include <filesystem>
#include <stop_token>
#include <string>
#include <utility>
#include <vector>

#include "platform/ml/Safetensors.hpp"
#include "platform/ml/TensorSource.hpp"
#include "platform/ml/WhisperDecoderModel.hpp"
#include "platform/ml/WhisperEncoderModel.hpp"

namespace platform::ml {

// The sizes of a standard Whisper checkpoint ("config.json").
struct WhisperConfig {
    int64_t numMelBins = 80;
    int64_t dModel = 384;
    int64_t encoderLayers = 4;
    int64_t encoderAttentionHeads = 6;
    int64_t encoderFfnDim = 1536;
    int64_t decoderLayers = 4;
    int64_t decoderAttentionHeads = 6;
    int64_t decoderFfnDim = 1536;
    int64_t vocabSize = 51865;
    int64_t maxSourcePositions = 1500;
    int64_t maxTargetPositions = 448;
    std::vector<std::pair<int64_t, int64_t>> alignmentHeads;  // from generation_config.json

    static WhisperConfig read(const std::filesystem::path& checkpointFolder);  // throws ModelError
    void write(const std::filesystem::path& checkpointFolder) const;
    EncoderDimensions encoder() const;
    DecoderDimensions decoder(int64_t kvLength = 224) const;
};

// Random weights under the standard tensor names, into a memory source
// (all float32; sinusoidal encoder positions).
void fillRandomWeights(const WhisperConfig& config, uint64_t seed, MemoryTensorSource& into);

// Writes a standard checkpoint folder: config.json, generation_config.json,
// model.safetensors (random weights stored as f32 or f16).
void generateRandomCheckpoint(const std::filesystem::path& folder, const WhisperConfig& config, uint64_t seed,
                              TensorType storeAs = TensorType::f32);

// Converts a checkpoint folder (model.safetensors, or shards listed in
// model.safetensors.index.json; float32, float16 or bfloat16) into a variant folder: MelSpectrogram.mlmodelc,
// AudioEncoder.mlmodelc and TextDecoder.mlmodelc (model.json +
// weights.safetensors each), config.json and the tokenizer files. Each stage
// is loaded once afterwards to prove the folder is sound (when `verify`).
// A stop request ends it between two tensors (or stage loads) with
// CancellationError, leaving `variantFolder` as it was. With `only`, just
// the entries it names are made (and replaced); the rest stay as they are.
void convertCheckpoint(const std::filesystem::path& checkpointFolder, const std::filesystem::path& variantFolder,
                       bool verify = true, std::stop_token stop = {}, const std::vector<std::string>& only = {});

// What a whole variant folder holds: the three stages, config.json and the
// tokenizer's two files.
const std::vector<std::string>& variantFolderEntries();

// The entries of a variant folder that are missing, incomplete or
// unreadable: a stage that does not load, a config.json or tokenizer file
// that does not read. Empty when the folder is whole. A stage that fails to
// load for another reason (out of memory, say) throws that error.
std::vector<std::string> damagedVariantEntries(const std::filesystem::path& variantFolder);

}  // namespace platform::ml
