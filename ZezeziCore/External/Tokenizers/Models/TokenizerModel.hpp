#pragma once

#include <memory>
#include <string>

#include "ZezeziCore/External/Tokenizers/Tokenizer.hpp"

namespace Tokenizers {

// Picks and builds the vocabulary model named by `tokenizer_class`.
namespace TokenizerModel {

// Throws TokenizerError: missingTokenizerClassInConfig, unsupportedTokenizer
// (strict only; otherwise a warning line on standard output and a byte-pair
// model), or what the model's constructor throws.
std::unique_ptr<TokenizingModel> from(const Config& tokenizerConfig, const Config& tokenizerData,
                                      const AddedTokenIds& addedTokens, bool strict);

std::optional<std::string> unknownToken(const Config& tokenizerConfig);

// Every "Fast" removed.
std::string withoutFast(std::string name);

}  // namespace TokenizerModel

}  // namespace Tokenizers
