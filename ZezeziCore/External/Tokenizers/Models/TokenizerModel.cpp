#include "ZezeziCore/External/Tokenizers/Models/TokenizerModel.hpp"

#include <functional>
#include <iostream>
#include <unordered_map>

#include "ZezeziCore/External/Tokenizers/Models/BPETokenizer.hpp"
#include "ZezeziCore/External/Tokenizers/Models/BertTokenizer.hpp"
#include "ZezeziCore/External/Tokenizers/Models/UnigramTokenizer.hpp"
#include "ZezeziCore/External/Tokenizers/TokenizerError.hpp"

namespace Tokenizers::TokenizerModel {

namespace {

using Constructor = std::function<std::unique_ptr<TokenizingModel>(const Config&, const Config&, const AddedTokenIds&)>;

template <class Model>
Constructor make() {
    return [](const Config& c, const Config& d, const AddedTokenIds& a) { return std::make_unique<Model>(c, d, a); };
}

const std::unordered_map<std::string, Constructor>& knownTokenizers() {
    static const std::unordered_map<std::string, Constructor> table{
        {"BertTokenizer", make<BertTokenizer>()},
        {"CodeGenTokenizer", make<BPETokenizer>()},
        {"CodeLlamaTokenizer", make<BPETokenizer>()},
        {"CohereTokenizer", make<BPETokenizer>()},
        {"DistilbertTokenizer", make<BertTokenizer>()},
        {"DistilBertTokenizer", make<BertTokenizer>()},
        {"FalconTokenizer", make<BPETokenizer>()},
        {"GemmaTokenizer", make<BPETokenizer>()},
        {"GPT2Tokenizer", make<BPETokenizer>()},
        {"LlamaTokenizer", make<BPETokenizer>()},
        {"RobertaTokenizer", make<BPETokenizer>()},
        {"T5Tokenizer", make<T5Tokenizer>()},
        {"TokenizersBackend", make<BPETokenizer>()},
        {"PreTrainedTokenizer", make<BPETokenizer>()},
        {"Qwen2Tokenizer", make<BPETokenizer>()},
        {"WhisperTokenizer", make<BPETokenizer>()},
        {"XLMRobertaTokenizer", make<UnigramTokenizer>()},
    };
    return table;
}

}  // namespace

std::string withoutFast(std::string name) {
    std::string out;
    out.reserve(name.size());
    for (std::size_t i = 0; i < name.size();) {
        if (name.compare(i, 4, "Fast") == 0) {
            i += 4;
        } else {
            out.push_back(name[i]);
            ++i;
        }
    }
    return out;
}

std::optional<std::string> unknownToken(const Config& tokenizerConfig) { return unknownTokenFrom(tokenizerConfig); }

std::unique_ptr<TokenizingModel> from(const Config& tokenizerConfig, const Config& tokenizerData,
                                      const AddedTokenIds& addedTokens, bool strict) {
    auto className = tokenizerConfig["tokenizerClass"].string();
    if (!className) throw TokenizerError::missingTokenizerClassInConfig();
    std::string name = withoutFast(*className);
    const auto& table = knownTokenizers();
    auto it = table.find(name);
    if (it == table.end()) {
        if (strict) throw TokenizerError::unsupportedTokenizer(name);
        std::cout << "Warning: Tokenizer model class " << name
                  << " is not registered, falling back to a standard BPE implementation." << std::endl;
        return std::make_unique<BPETokenizer>(tokenizerConfig, tokenizerData, addedTokens);
    }
    return it->second(tokenizerConfig, tokenizerData, addedTokens);
}

}  // namespace Tokenizers::TokenizerModel
