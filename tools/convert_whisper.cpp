// Converts a standard Whisper checkpoint folder (config.json,
// model.safetensors in float32 or float16, tokenizer files) into a model
// variant folder the runtime loads: MelSpectrogram.mlmodelc,
// AudioEncoder.mlmodelc, TextDecoder.mlmodelc, config.json and the tokenizer
// files.
#include <cstdio>

#include "platform/ml/WhisperCheckpoint.hpp"
#include "tools/ToolCommandLine.hpp"

int main(int argc, char** argv) {
    const parlox::tools::ToolUsage tool{
        "CHECKPOINT_FOLDER VARIANT_FOLDER",
        "Turns a Whisper checkpoint folder (config.json, model.safetensors in float32 or float16,\n"
        "tokenizer files) into a model variant folder: MelSpectrogram.mlmodelc, AudioEncoder.mlmodelc,\n"
        "TextDecoder.mlmodelc, config.json and the tokenizer files. Prints the variant folder.\n",
        {},
        2,
    };
    return parlox::tools::runTool(argc, argv, tool, [](const parlox::tools::ParsedCommandLine& line) {
        platform::ml::convertCheckpoint(line.positional[0], line.positional[1]);
        std::printf("%s\n", line.positional[1].c_str());
        return 0;
    });
}
