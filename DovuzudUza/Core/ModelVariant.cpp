#include "DovuzudUza/Core/ModelVariant.hpp"

namespace DovuzudUza {

std::string description(ModelVariant variant) {
    switch (variant) {
        case ModelVariant::tiny: return "tiny";
        case ModelVariant::tinyEn: return "tiny.en";
        case ModelVariant::base: return "base";
        case ModelVariant::baseEn: return "base.en";
        case ModelVariant::small: return "small";
        case ModelVariant::smallEn: return "small.en";
        case ModelVariant::medium: return "medium";
        case ModelVariant::mediumEn: return "medium.en";
        case ModelVariant::large: return "large";
        case ModelVariant::largev2: return "large-v2";
        case ModelVariant::largev3: return "large-v3";
    }
    return "base";
}

bool isMultilingual(ModelVariant variant) {
    switch (variant) {
        case ModelVariant::tinyEn:
        case ModelVariant::baseEn:
        case ModelVariant::smallEn:
        case ModelVariant::mediumEn: return false;
        default: return true;
    }
}

const std::vector<ModelVariant>& allModelVariants() {
    static const std::vector<ModelVariant> all{
        ModelVariant::tiny,   ModelVariant::tinyEn,   ModelVariant::base,  ModelVariant::baseEn,
        ModelVariant::small,  ModelVariant::smallEn,  ModelVariant::medium, ModelVariant::mediumEn,
        ModelVariant::large,  ModelVariant::largev2,  ModelVariant::largev3};
    return all;
}

}  // namespace DovuzudUza
