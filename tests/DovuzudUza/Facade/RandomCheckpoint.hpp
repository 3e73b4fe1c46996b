#pragma once

// A small Whisper checkpoint with random weights in the standard layout
// (config files, weights, tokenizer files), and a loopback hub serving it.

#include <filesystem>
#include <map>
#include <string>

#include "platform/ml/WhisperCheckpoint.hpp"
#include "tests/DovuzudUza/Models/WhisperVocabularyFixture.hpp"
#include "tests/Hub/LoopbackHub.hpp"
#include "tests/support/ReadFile.hpp"
#include "tests/support/TemporaryFolder.hpp"

namespace DovuzudUza::test_support {

inline platform::ml::WhisperConfig tinyWhisperConfig() {
    platform::ml::WhisperConfig c;
    c.numMelBins = 80;
    c.dModel = 32;
    c.encoderLayers = 1;
    c.encoderAttentionHeads = 2;
    c.encoderFfnDim = 64;
    c.decoderLayers = 1;
    c.decoderAttentionHeads = 2;
    c.decoderFfnDim = 64;
    c.vocabSize = 51865;
    return c;
}

// Rewrites a checkpoint's decoder so that it always says the end token:
// its final norm gives one fixed vector whatever the input, and the end
// token's embedding points along it. Decoding then stops at its first step,
// which keeps the real runtime's tests quick.
inline void makeQuiet(const std::filesystem::path& folder, int64_t endToken) {
    const auto file = folder / "model.safetensors";
    platform::ml::TensorFileWriter writer;
    {
        platform::ml::TensorFile weights(file);
        for (const auto& [name, info] : weights.tensors()) {
            auto data = weights.readFloat(name);
            const int64_t width = info.shape.back();
            auto along = [](int64_t i) { return i % 2 ? 1.0f : -1.0f; };
            if (name == "model.decoder.layer_norm.weight") {
                for (int64_t i = 0; i < width; ++i) data[static_cast<size_t>(i)] = 0.0f;
            } else if (name == "model.decoder.layer_norm.bias") {
                for (int64_t i = 0; i < width; ++i) data[static_cast<size_t>(i)] = along(i);
            } else if (name == "model.decoder.embed_tokens.weight") {
                for (int64_t i = 0; i < width; ++i) data[static_cast<size_t>(endToken * width + i)] = along(i);
            }
            writer.addFloat(name, info.shape, data.data(), info.type);
        }
    }
    writer.write(file);
}

// The checkpoint's files by name, as a repository holds them.
struct RandomCheckpoint {
    TemporaryFolder tmp{"parlox-checkpoint-"};
    std::filesystem::path folder = tmp.path() / "checkpoint";
    std::map<std::string, std::string> files;

    explicit RandomCheckpoint(uint64_t seed = 7, platform::ml::WhisperConfig config = tinyWhisperConfig(),
                              bool quiet = true) {
        platform::ml::generateRandomCheckpoint(folder, config, seed, platform::ml::TensorType::f16);
        const WhisperVocabulary vocabulary;
        if (quiet) makeQuiet(folder, vocabulary.endOfText);
        vocabulary.write(folder);
        for (const auto& entry : std::filesystem::directory_iterator(folder))
            files[entry.path().filename().string()] = parlox::testing::readFile(entry.path());
    }

    int64_t totalBytes() const {
        int64_t total = 0;
        for (const auto& [name, content] : files) total += static_cast<int64_t>(content.size());
        return total;
    }

    // Puts every file into the hub's repository; the weights as a large
    // file, with a SHA-256 etag the client verifies.
    void serve(hubtest::LoopbackHub& hub) const {
        for (const auto& [name, content] : files) hub.setFile(name, content, name == "model.safetensors");
    }
};

// The standard repository of the default variant, served on 127.0.0.1.
struct CheckpointHub {
    hubtest::LoopbackHub hub;
    explicit CheckpointHub(const RandomCheckpoint& checkpoint,
                           std::string repository = "openai/whisper-large-v3-turbo") {
        hub.repoId = std::move(repository);
        checkpoint.serve(hub);
    }
    std::string endpoint() const { return hub.endpoint(); }
};

}  // namespace DovuzudUza::test_support

namespace DovuzudUza::test_support {

// The checkpoint converted into a variant folder the engine loads, made
// once per test program.
inline const std::filesystem::path& convertedModel() {
    static const RandomCheckpoint checkpoint(5);
    static const TemporaryFolder folder{"parlox-model-"};
    static const std::filesystem::path variant = [] {
        const auto path = folder.path() / "openai_whisper-large-v3-v20240930_turbo";
        platform::ml::convertCheckpoint(checkpoint.folder, path);
        return path;
    }();
    return variant;
}

}  // namespace DovuzudUza::test_support
