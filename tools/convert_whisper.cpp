// Converts a standard Whisper checkpoint folder (config.json,
// model.safetensors in float32 or float16, tokenizer files) into a model
// variant folder the runtime loads: MelSpectrogram.mlmodelc,
// AudioEncoder.mlmodelc, TextDecoder.mlmodelc, config.json and the tokenizer
// files.
#include <cstdio>
#include <exception>
#include <string>

#include "platform/ml/WhisperCheckpoint.hpp"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s CHECKPOINT_FOLDER VARIANT_FOLDER\n", argv[0]);
        return 2;
    }
    try {
        platform::ml::convertCheckpoint(argv[1], argv[2]);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s\n", argv[0], e.what());
        return 1;
    }
    std::printf("%s\n", argv[2]);
    return 0;
}
