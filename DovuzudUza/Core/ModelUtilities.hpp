#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "DovuzudUza/Core/ModelSupport.hpp"
#include "DovuzudUza/Core/ModelVariant.hpp"

namespace DovuzudUza::ModelUtilities {

// The variant of a loaded model from its vocabulary size and encoder width.
ModelVariant detectVariant(int64_t logitsDim, int64_t encoderDim);

// `config.modelSupport(deviceIdentifier)`, or the built-in table's.
ModelSupport modelSupport(const std::string& deviceIdentifier,
                          const std::optional<ModelSupportConfig>& config = std::nullopt);

// The sorted model folder names found in a repository's file paths.
std::vector<std::string> formatModelFiles(const std::vector<std::string>& files);

// The hub repository holding a variant's tokenizer files.
std::string tokenizerNameForVariant(ModelVariant variant);

}  // namespace DovuzudUza::ModelUtilities
