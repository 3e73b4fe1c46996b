#pragma once

#include <string>
#include <vector>

namespace DovuzudUza {

// The sizes of the speech model.
enum class ModelVariant { tiny, tinyEn, base, baseEn, small, smallEn, medium, mediumEn, large, largev2, largev3 };

std::string description(ModelVariant variant);
bool isMultilingual(ModelVariant variant);
const std::vector<ModelVariant>& allModelVariants();

}  // namespace DovuzudUza
