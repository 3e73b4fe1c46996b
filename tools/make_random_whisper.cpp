// Writes a Whisper checkpoint folder with random weights, for tests and
// benchmarks: config.json, generation_config.json, model.safetensors and,
// for a vocabulary that holds the control tokens, the tokenizer files.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>

#include "platform/ml/WhisperCheckpoint.hpp"
#include "tools/WhisperVocabulary.hpp"

namespace {

void usage(const char* self) {
    std::fprintf(stderr,
                 "usage: %s FOLDER [--mels N] [--d-model N] [--heads N] [--encoder-layers N]\n"
                 "          [--decoder-layers N] [--vocab N] [--seed N] [--f16] [--alignment-heads L:H,...]\n"
                 "Defaults: a tiny model (80 mels, d_model 64, 4 heads, 2 + 2 layers, vocab 51865).\n",
                 self);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        usage(argv[0]);
        return 2;
    }
    platform::ml::WhisperConfig c;
    c.numMelBins = 80;
    c.dModel = 64;
    c.encoderAttentionHeads = c.decoderAttentionHeads = 4;
    c.encoderLayers = c.decoderLayers = 2;
    c.vocabSize = 51865;
    uint64_t seed = 1;
    auto storeAs = platform::ml::TensorType::f32;
    for (int i = 2; i < argc; ++i) {
        const std::string a = argv[i];
        auto next = [&]() -> long long {
            if (i + 1 >= argc) {
                usage(argv[0]);
                std::exit(2);
            }
            char* end = nullptr;
            const long long v = std::strtoll(argv[++i], &end, 10);
            if (!end || *end || v <= 0) {
                std::fprintf(stderr, "%s: bad value for %s\n", argv[0], a.c_str());
                std::exit(2);
            }
            return v;
        };
        if (a == "--mels") c.numMelBins = next();
        else if (a == "--d-model") c.dModel = next();
        else if (a == "--heads") c.encoderAttentionHeads = c.decoderAttentionHeads = next();
        else if (a == "--encoder-layers") c.encoderLayers = next();
        else if (a == "--decoder-layers") c.decoderLayers = next();
        else if (a == "--vocab") c.vocabSize = next();
        else if (a == "--seed") seed = static_cast<uint64_t>(next());
        else if (a == "--f16") storeAs = platform::ml::TensorType::f16;
        else if (a == "--alignment-heads" && i + 1 < argc) {
            std::string list = argv[++i];
            for (size_t at = 0; at < list.size();) {
                const size_t comma = list.find(',', at);
                const std::string item = list.substr(at, comma == std::string::npos ? std::string::npos : comma - at);
                const size_t colon = item.find(':');
                if (colon == std::string::npos) {
                    usage(argv[0]);
                    return 2;
                }
                c.alignmentHeads.emplace_back(std::stoll(item.substr(0, colon)), std::stoll(item.substr(colon + 1)));
                if (comma == std::string::npos) break;
                at = comma + 1;
            }
        } else {
            usage(argv[0]);
            return 2;
        }
    }
    c.encoderFfnDim = c.decoderFfnDim = 4 * c.dModel;
    if (c.dModel % c.encoderAttentionHeads != 0) {
        std::fprintf(stderr, "%s: d_model must be a multiple of the head count\n", argv[0]);
        return 2;
    }
    try {
        platform::ml::generateRandomCheckpoint(argv[1], c, seed, storeAs);
        if (const auto vocabulary = parlox::tools::WhisperVocabulary::forModel(c.vocabSize)) vocabulary->write(argv[1]);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s\n", argv[0], e.what());
        return 1;
    }
    std::printf("%s\n", argv[1]);
    return 0;
}
