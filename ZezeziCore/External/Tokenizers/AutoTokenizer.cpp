#include "ZezeziCore/External/Tokenizers/AutoTokenizer.hpp"

#include "ZezeziCore/External/Hub/LanguageModelConfigurationFromHub.hpp"
#include "ZezeziCore/External/Tokenizers/Models/TokenizerModel.hpp"
#include "ZezeziCore/External/Tokenizers/TokenizerError.hpp"

namespace Tokenizers {

const std::unordered_map<std::string, PreTrainedTokenizerClasses::Constructor>& PreTrainedTokenizerClasses::tokenizerClasses() {
    static const std::unordered_map<std::string, Constructor> table{
        {"LlamaTokenizer",
         [](const Config& c, const Config& d, bool strict) -> std::shared_ptr<const Tokenizer> {
             return std::make_shared<LlamaPreTrainedTokenizer>(c, d, strict);
         }},
    };
    return table;
}

namespace {

TokenizerWrapper build(const Hub::LanguageModelConfigurationFromHub& loader, bool chooseClass, bool strict) {
    auto tokenizerConfig = loader.tokenizerConfig();
    if (!tokenizerConfig) throw TokenizerError::missingConfig();
    Config tokenizerData = loader.tokenizerData();
    if (chooseClass) {
        if (auto className = (*tokenizerConfig)["tokenizerClass"].string()) {
            const auto& classes = PreTrainedTokenizerClasses::tokenizerClasses();
            if (auto it = classes.find(TokenizerModel::withoutFast(*className)); it != classes.end())
                return TokenizerWrapper(it->second(*tokenizerConfig, tokenizerData, strict));
        }
    }
    return TokenizerWrapper(std::make_shared<PreTrainedTokenizer>(*tokenizerConfig, tokenizerData, strict));
}

}  // namespace

TokenizerWrapper AutoTokenizerWrapper::fromPretrained(const std::string& pretrained, const Hub::HubApiWrapper& hubApi,
                                                      bool strict) {
    Hub::LanguageModelConfigurationFromHub loader(pretrained, "main", hubApi);
    return build(loader, true, strict);
}

TokenizerWrapper AutoTokenizerWrapper::fromModelFolder(const std::filesystem::path& modelFolder, bool strict) {
    Hub::LanguageModelConfigurationFromHub loader(modelFolder);
    return build(loader, false, strict);
}

}  // namespace Tokenizers
