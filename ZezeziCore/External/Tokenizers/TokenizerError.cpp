#include "ZezeziCore/External/Tokenizers/TokenizerError.hpp"

namespace Tokenizers {

std::string TokenizerError::description() const {
    switch (kind_) {
        case Kind::unsupportedTokenizer: return "The tokenizer type '" + payload_ + "' is not supported.";
        case Kind::tooLong: return "Input is too long: " + payload_;
        case Kind::mismatchedConfig: return "Tokenizer configuration mismatch: " + payload_;
        case Kind::missingConfig: return "Tokenizer configuration is missing.";
        case Kind::missingTokenizerClassInConfig: return "The tokenizer class is not specified in the configuration.";
        case Kind::missingVocab: return "Vocabulary file is missing from the tokenizer configuration.";
        case Kind::malformedVocab: return "The vocabulary file is malformed or corrupted.";
    }
    return "Tokenizer error";
}

}  // namespace Tokenizers
