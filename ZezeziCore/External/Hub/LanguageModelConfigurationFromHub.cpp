#include "ZezeziCore/External/Hub/LanguageModelConfigurationFromHub.hpp"

#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include <fstream>
#include <iterator>
#include <thread>

#include "platform/foundation/Unicode.hpp"

namespace Hub {

namespace fs = std::filesystem;
using ZezeziCore::BinaryDistinctString;
using ZezeziCore::Config;

namespace {

// Words are separated by white space only: "xlm-roberta" gives "Xlm-roberta".
std::string capitalized(const std::string& text) {
    icu::UnicodeString u = icu::UnicodeString::fromUTF8(text);
    icu::UnicodeString out;
    int32_t i = 0;
    while (i < u.length()) {
        int32_t start = i;
        bool space = u_isUWhiteSpace(u.char32At(i));
        while (i < u.length() && static_cast<bool>(u_isUWhiteSpace(u.char32At(i))) == space) i = u.moveIndex32(i, 1);
        icu::UnicodeString run(u, start, i - start);
        if (!space) {
            int32_t second = run.moveIndex32(0, 1);
            icu::UnicodeString first(run, 0, second);
            icu::UnicodeString rest(run, second);
            run = first.toUpper().append(rest.toLower());
        }
        out.append(run);
    }
    std::string result;
    out.toUTF8String(result);
    return result;
}

Config withMember(const std::optional<Config>& object, const std::string& key, const std::string& value) {
    Config::Dictionary dict;
    if (object && object->kind() == Config::Kind::dictionary) dict = *object->dictionary();
    dict[BinaryDistinctString(key)] = Config(value);
    return Config(std::move(dict));
}

template <class F>
std::shared_future<LanguageModelConfigurationFromHub::Configurations> startLoading(F work) {
    std::packaged_task<LanguageModelConfigurationFromHub::Configurations()> task(std::move(work));
    auto future = task.get_future().share();
    // The load runs to its end even when the object goes first.
    std::thread(std::move(task)).detach();
    return future;
}

}  // namespace

const std::vector<std::string>& LanguageModelConfigurationFromHub::configurationFiles() {
    static const std::vector<std::string> files{"config.json", "tokenizer_config.json", "chat_template.jinja",
                                                "chat_template.json", "tokenizer.json"};
    return files;
}

LanguageModelConfigurationFromHub::LanguageModelConfigurationFromHub(std::string modelName, std::string revision,
                                                                     HubApiWrapper hubApi) {
    configPromise = startLoading([modelName, revision, hubApi]() -> Configurations {
        try {
            auto folder = hubApi.snapshot(HubApiWrapper::Repo(modelName, HubApiWrapper::RepoType::models), revision,
                                          configurationFiles());
            return loadConfig(folder);
        } catch (const platform::net::UrlError& e) {
            if (e.code() == platform::net::UrlError::Code::resourceUnavailable)
                throw HubClientError::resourceNotFound(modelName);
            throw HubClientError::networkError(e);
        }
    });
}

LanguageModelConfigurationFromHub::LanguageModelConfigurationFromHub(fs::path modelFolder) {
    configPromise = startLoading([modelFolder]() { return loadConfig(modelFolder); });
}

LanguageModelConfigurationFromHub::LanguageModelConfigurationFromHub(fs::path modelFolder, const HubApiWrapper&)
    : LanguageModelConfigurationFromHub(std::move(modelFolder)) {}

LanguageModelConfigurationFromHub::Configurations LanguageModelConfigurationFromHub::loadConfig(
    const fs::path& modelFolder) {
    try {
        Configurations result;
        std::error_code ec;
        if (fs::exists(modelFolder / "config.json", ec))
            result.modelConfig = HubApi::configuration(modelFolder / "config.json");
        if (!fs::exists(modelFolder / "tokenizer.json", ec)) throw HubClientError::configurationMissing("tokenizer.json");
        result.tokenizerData = HubApi::configuration(modelFolder / "tokenizer.json");
        if (fs::exists(modelFolder / "tokenizer_config.json", ec))
            result.tokenizerConfig = HubApi::configuration(modelFolder / "tokenizer_config.json");

        std::optional<std::string> chatTemplate;
        if (fs::exists(modelFolder / "chat_template.jinja", ec)) {
            std::ifstream in(modelFolder / "chat_template.jinja", std::ios::binary);
            if (!in)
                throw fs::filesystem_error("cannot read file", modelFolder / "chat_template.jinja",
                                           std::make_error_code(std::errc::io_error));
            std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            if (!platform::isValidUtf8(text))
                throw fs::filesystem_error("chat template is not valid UTF-8", modelFolder / "chat_template.jinja",
                                           std::make_error_code(std::errc::illegal_byte_sequence));
            chatTemplate = std::move(text);
        } else if (fs::exists(modelFolder / "chat_template.json", ec)) {
            auto json = HubApi::configuration(modelFolder / "chat_template.json");
            chatTemplate = json["chatTemplate"].string();
        }
        if (chatTemplate) result.tokenizerConfig = withMember(result.tokenizerConfig, "chat_template", *chatTemplate);
        return result;
    } catch (const HubClientError&) {
        throw;
    } catch (...) {
        throw HubClientError::fileSystemError(std::current_exception());
    }
}

std::optional<Config> LanguageModelConfigurationFromHub::tokenizerConfig() const {
    auto configs = configurations();
    if (!configs.tokenizerConfig) return std::nullopt;
    if ((*configs.tokenizerConfig)["tokenizerClass"].string()) return configs.tokenizerConfig;
    auto type = modelType();
    if (!type) return configs.tokenizerConfig;
    return withMember(configs.tokenizerConfig, "tokenizer_class", capitalized(*type) + "Tokenizer");
}

std::optional<std::string> LanguageModelConfigurationFromHub::modelType() const {
    auto configs = configurations();
    if (!configs.modelConfig) return std::nullopt;
    return (*configs.modelConfig)["modelType"].string();
}

}  // namespace Hub
