// Writes a Whisper checkpoint folder with random weights, for tests and
// benchmarks: config.json, generation_config.json, model.safetensors and,
// for a vocabulary that holds the control tokens, the tokenizer files.
#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/ml/WhisperCheckpoint.hpp"
#include "tools/ToolCommandLine.hpp"
#include "tools/WhisperVocabulary.hpp"

namespace {

using parlox::tools::UsageError;

// "L:H,L:H,...": decoder layer and head pairs.
void readAlignmentHeads(const std::string& list, platform::ml::WhisperConfig& config) {
    for (std::size_t at = 0; at <= list.size();) {
        const std::size_t comma = list.find(',', at);
        const std::string item = list.substr(at, comma == std::string::npos ? std::string::npos : comma - at);
        const std::size_t colon = item.find(':');
        if (colon == std::string::npos) throw UsageError("bad value for --alignment-heads: " + list);
        config.alignmentHeads.emplace_back(
            parlox::tools::nonNegativeInteger("--alignment-heads", item.substr(0, colon)),
            parlox::tools::nonNegativeInteger("--alignment-heads", item.substr(colon + 1)));
        if (comma == std::string::npos) break;
        at = comma + 1;
    }
}

}  // namespace

int main(int argc, char** argv) {
    const parlox::tools::ToolUsage tool{
        "FOLDER [--mels N] [--d-model N] [--heads N] [--encoder-layers N]\n"
        "          [--decoder-layers N] [--vocab N] [--seed N] [--f16] [--alignment-heads L:H,...]",
        "Writes a Whisper checkpoint with random weights into FOLDER and prints FOLDER.\n"
        "Defaults: a tiny model (80 mels, d_model 64, 4 heads, 2 + 2 layers, vocab 51865).\n",
        {{"--mels", true},
         {"--d-model", true},
         {"--heads", true},
         {"--encoder-layers", true},
         {"--decoder-layers", true},
         {"--vocab", true},
         {"--seed", true},
         {"--f16", false},
         {"--alignment-heads", true}},
        1,
    };
    return parlox::tools::runTool(argc, argv, tool, [](const parlox::tools::ParsedCommandLine& line) {
        using parlox::tools::positiveInteger;
        platform::ml::WhisperConfig c;
        c.numMelBins = 80;
        c.dModel = 64;
        c.encoderAttentionHeads = c.decoderAttentionHeads = 4;
        c.encoderLayers = c.decoderLayers = 2;
        c.vocabSize = 51865;
        uint64_t seed = 1;
        auto storeAs = platform::ml::TensorType::f32;
        for (const auto& [name, value] : line.options) {
            if (name == "--mels") c.numMelBins = positiveInteger(name, value);
            else if (name == "--d-model") c.dModel = positiveInteger(name, value);
            else if (name == "--heads") c.encoderAttentionHeads = c.decoderAttentionHeads = positiveInteger(name, value);
            else if (name == "--encoder-layers") c.encoderLayers = positiveInteger(name, value);
            else if (name == "--decoder-layers") c.decoderLayers = positiveInteger(name, value);
            else if (name == "--vocab") c.vocabSize = positiveInteger(name, value);
            else if (name == "--seed") seed = static_cast<uint64_t>(positiveInteger(name, value));
            else if (name == "--f16") storeAs = platform::ml::TensorType::f16;
            else if (name == "--alignment-heads") readAlignmentHeads(value, c);
        }
        c.encoderFfnDim = c.decoderFfnDim = 4 * c.dModel;
        if (c.dModel % c.encoderAttentionHeads != 0) throw UsageError("d_model must be a multiple of the head count");
        const std::string& folder = line.positional[0];
        platform::ml::generateRandomCheckpoint(folder, c, seed, storeAs);
        if (const auto vocabulary = parlox::tools::WhisperVocabulary::forModel(c.vocabSize)) vocabulary->write(folder);
        std::printf("%s\n", folder.c_str());
        return 0;
    });
}
