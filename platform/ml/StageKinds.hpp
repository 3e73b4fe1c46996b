#pragma once

#include <map>
#include <string>

#include "platform/ml/ModelLoader.hpp"

namespace platform::ml {

// Adds the built-in model kinds to a loader registry.
void registerStageKinds(std::map<std::string, ModelLoader::Factory>& kinds);

}  // namespace platform::ml
