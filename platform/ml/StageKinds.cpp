#include "platform/ml/StageKinds.hpp"

#include "platform/ml/LogMelModel.hpp"
#include "platform/ml/ModelManifest.hpp"
#include "platform/ml/WhisperDecoderModel.hpp"
#include "platform/ml/WhisperEncoderModel.hpp"

namespace platform::ml {

namespace {

template <class Stage>
ModelLoader::Factory stageFactory() {
    return [](const std::filesystem::path& folder, const ModelConfiguration& configuration) {
        const auto manifest = ModelManifest::read(folder);
        FileTensorSource weights(folder / "weights.safetensors");
        return std::static_pointer_cast<Model>(std::make_shared<Stage>(manifest, weights, configuration));
    };
}

}  // namespace

void registerStageKinds(std::map<std::string, ModelLoader::Factory>& kinds) {
    kinds[LogMelModel::kind] = stageFactory<LogMelModel>();
    kinds[WhisperEncoderModel::kind] = stageFactory<WhisperEncoderModel>();
    kinds[WhisperDecoderModel::kind] = stageFactory<WhisperDecoderModel>();
}

}  // namespace platform::ml
