// model.json of a model folder: the input is the file, beside one weights
// file that holds a tiny random model's tensors for all three stages. Any
// text either loads a model or gives a ModelError; a model that loads (and
// is small enough to try) runs one prediction on zero inputs.
#include <memory>

#include "fuzz/FuzzSupport.hpp"
#include "platform/ml/Model.hpp"
#include "platform/ml/ModelError.hpp"
#include "platform/ml/MultiArray.hpp"
#include "platform/ml/WhisperCheckpoint.hpp"

namespace fs = std::filesystem;
using namespace parlox::fuzzing;
using namespace platform::ml;

namespace {

fs::path modelFolder() { return scratchFolder() / "Stage.mlmodelc"; }

// Sizes the seed model.json files describe (see tests/fixtures/fuzz/model_json).
WhisperConfig tinyConfig() {
    return WhisperConfig{.numMelBins = 8, .dModel = 8, .encoderLayers = 1, .encoderAttentionHeads = 2,
                         .encoderFfnDim = 16, .decoderLayers = 1, .decoderAttentionHeads = 2, .decoderFfnDim = 16,
                         .vocabSize = 16, .maxSourcePositions = 4, .maxTargetPositions = 224,
                         .alignmentHeads = {{0, 1}}};
}

// The three stages' weights in one file: a stage takes the tensors it names.
void writeWeights() {
    const fs::path checkpoint = scratchFolder() / "checkpoint";
    const fs::path variant = scratchFolder() / "variant";
    generateRandomCheckpoint(checkpoint, tinyConfig(), 7);
    convertCheckpoint(checkpoint, variant, false);
    TensorFileWriter writer;
    for (const char* stage : {"MelSpectrogram.mlmodelc", "AudioEncoder.mlmodelc", "TextDecoder.mlmodelc"}) {
        const fs::path weights = variant / stage / "weights.safetensors";
        std::error_code ec;
        if (!fs::exists(weights, ec)) continue;
        TensorFile file(weights);
        for (const auto& [name, info] : file.tensors()) {
            const auto raw = file.readBytes(name);
            writer.add(name, info.type, info.shape, raw.data(), raw.size());
        }
    }
    fs::create_directories(modelFolder());
    writer.write(modelFolder() / "weights.safetensors");
    fs::remove_all(checkpoint);
    fs::remove_all(variant);
}

int64_t elements(const FeatureDescription& d) {
    if (!d.multiArrayConstraint) return 0;
    int64_t n = 1;
    for (int64_t v : d.multiArrayConstraint->shape) {
        if (v > 0 && n > (int64_t{1} << 40) / v) return int64_t{1} << 40;
        n *= v;
    }
    return n;
}

void predictOnZeros(Model& model) {
    const auto& description = model.description();
    int64_t total = 0;
    for (const auto* features : {&description.inputDescriptionsByName, &description.outputDescriptionsByName})
        for (const auto& [name, d] : *features) total += elements(d);
    if (total > (int64_t{1} << 18)) return;
    DictionaryFeatureProvider input;
    for (const auto& [name, d] : description.inputDescriptionsByName) {
        if (!d.multiArrayConstraint) return;
        input.set(name, MultiArray::make(d.multiArrayConstraint->shape, d.multiArrayConstraint->dataType));
    }
    const auto output = model.predict(input);
    for (const auto& [name, d] : description.outputDescriptionsByName)
        if (d.multiArrayConstraint && !output.contains(name)) violated("prediction lacks the declared output \"" + name + "\"");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    writeWeights();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    writeFile(modelFolder() / "model.json", bytes(data, size));
    try {
        const auto model = Model::load(modelFolder(), ModelConfiguration{ComputeUnits::cpuOnly});
        predictOnZeros(*model);
    } catch (const ModelError&) {
    }
    return 0;
}
