// Tokenizer files through the tokenizer factory: tokenizer_config.json and
// tokenizer.json from a folder, then a text encoded and ids decoded with
// what was built. Input: tokenizer_config.json, "%%" line, tokenizer.json,
// "%%" line, the text. Files that cannot describe a tokenizer must give one
// of the project's errors; any other exception or fault is a finding.
#include <memory>
#include <optional>

#include "ZezeziCore/External/Hub/HubApiWrapper.hpp"
#include "ZezeziCore/External/Hub/LanguageModelConfigurationFromHub.hpp"
#include "ZezeziCore/External/Tokenizers/AutoTokenizer.hpp"
#include "ZezeziCore/External/Tokenizers/Models/TokenizerModel.hpp"
#include "fuzz/FuzzSupport.hpp"

namespace fs = std::filesystem;
using namespace parlox::fuzzing;

namespace {

Hub::HubApiWrapper& hubApi() {
    // Never reached over the network: a folder load reads only the folder.
    static Hub::HubApiWrapper wrapper{scratchFolder() / "cache", std::string(), std::string("http://127.0.0.1:1")};
    return wrapper;
}

// Ids the text suggests, including ones outside the vocabulary.
std::vector<int64_t> idsFrom(std::string_view text) {
    std::vector<int64_t> ids;
    for (size_t i = 0; i + 1 < text.size() && ids.size() < 64; i += 2)
        ids.push_back(static_cast<int64_t>(static_cast<int8_t>(text[i])) * 256 + static_cast<uint8_t>(text[i + 1]));
    return ids;
}

void exercise(const Tokenizers::Tokenizer& tokenizer, std::string_view text) {
    (void)tokenizer.tokenize(text);
    (void)tokenizer.bosTokenId();
    (void)tokenizer.eosTokenId();
    (void)tokenizer.unknownTokenId();
    (void)tokenizer.convertTokenToId(text);
    for (bool special : {true, false}) {
        try {
            const auto ids = tokenizer.encode(text, special);
            (void)tokenizer.decode(ids, special);
            (void)tokenizer.convertIdsToTokens(ids);
        } catch (const platform::Error&) {
            // A piece without an id and no unknown token.
        }
    }
    const auto ids = idsFrom(text);
    (void)tokenizer.convertIdsToTokens(ids);
    (void)tokenizer.decode(ids, false);
    (void)tokenizer.decode(ids, true);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto parts = sections(bytes(data, size), 3);
    const fs::path folder = scratchFolder() / "model";
    fs::create_directories(folder);
    writeFile(folder / "tokenizer_config.json", parts[0]);
    writeFile(folder / "tokenizer.json", parts[1]);
    try {
        const auto tokenizer = Tokenizers::AutoTokenizerWrapper::fromModelFolder(folder, hubApi(), true);
        exercise(*tokenizer.impl(), parts[2]);
    } catch (const platform::Error&) {
    }
    // The hub road also picks a tokenizer class by name ("LlamaTokenizer").
    if (parts[0].find("Tokenizer") == std::string_view::npos) return 0;
    try {
        const auto configs = Hub::LanguageModelConfigurationFromHub::loadConfig(folder, hubApi());
        if (!configs.tokenizerConfig) return 0;
        const auto name = (*configs.tokenizerConfig)["tokenizerClass"].string();
        if (!name) return 0;
        const auto& classes = Tokenizers::PreTrainedTokenizerClasses::tokenizerClasses();
        const auto it = classes.find(Tokenizers::TokenizerModel::withoutFast(*name));
        if (it == classes.end()) return 0;
        exercise(*it->second(*configs.tokenizerConfig, configs.tokenizerData, true), parts[2]);
    } catch (const platform::Error&) {
    }
    return 0;
}
