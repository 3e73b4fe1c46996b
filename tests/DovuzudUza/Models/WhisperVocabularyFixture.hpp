#pragma once

#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "DovuzudUza/Core/Constants.hpp"
#include "ZezeziCore/External/Hub/ConfigJSONSerialization.hpp"
#include "ZezeziCore/External/Tokenizers/ByteEncoder.hpp"
#include "ZezeziCore/External/Tokenizers/PreTrainedTokenizer.hpp"
#include "tests/support/TemporaryFolder.hpp"
#include "tools/WhisperVocabulary.hpp"

namespace DovuzudUza::test_support {

using parlox::testing::TemporaryFolder;

// The tools' vocabulary, also built straight into a tokenizer.
struct WhisperVocabulary : parlox::tools::WhisperVocabulary {
    std::shared_ptr<const Tokenizers::Tokenizer> build() const {
        using ZezeziCore::JSONSerialization;
        return std::make_shared<Tokenizers::PreTrainedTokenizer>(
            JSONSerialization::bomPreservingJsonObject(tokenizerConfigJson().dump()),
            JSONSerialization::bomPreservingJsonObject(tokenizerJson().dump()), true);
    }
};

}  // namespace DovuzudUza::test_support
