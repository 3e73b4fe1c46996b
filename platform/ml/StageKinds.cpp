#include "platform/ml/StageKinds.hpp"

#include "platform/ml/ModelManifest.hpp"
#include "platform/ml/fake/FakeModel.hpp"

namespace platform::ml {

void registerStageKinds(std::map<std::string, ModelLoader::Factory>& kinds) {
    kinds["fake"] = [](const std::filesystem::path& folder, const ModelConfiguration& configuration) {
        auto manifest = ModelManifest::read(folder);
        return std::static_pointer_cast<Model>(
            std::make_shared<FakeModel>(std::move(manifest.description), FakeModel::Callback{}, configuration));
    };
}

}  // namespace platform::ml
