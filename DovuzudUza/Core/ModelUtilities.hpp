#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "DovuzudUza/Core/ModelSupport.hpp"
#include "DovuzudUza/Core/ModelVariant.hpp"
#include "DovuzudUza/Core/WhisperTokenizer.hpp"

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

// The variant's tokenizer from the first local folder holding
// "tokenizer.json" (the hub's copy of the tokenizer repository under
// `tokenizerFolder`, then `tokenizerFolder`, then each additional path),
// else fetched from the hub. A local folder that fails to build falls back
// to the hub; a hub failure is thrown.
std::shared_ptr<WhisperTokenizer> loadTokenizer(ModelVariant variant,
                                                const std::optional<std::filesystem::path>& tokenizerFolder = std::nullopt,
                                                const std::vector<std::filesystem::path>& additionalSearchPaths = {},
                                                bool useBackgroundSession = false);

}  // namespace DovuzudUza::ModelUtilities
