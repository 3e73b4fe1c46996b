#include <gtest/gtest.h>

#include "HubTestSupport.hpp"
#include "ZezeziCore/External/Hub/LanguageModelConfigurationFromHub.hpp"

using namespace hubtest;
using Hub::HubApiWrapper;
using Hub::HubClientError;
using Hub::LanguageModelConfigurationFromHub;
namespace fs = std::filesystem;

namespace {

class ModelFolder : public ::testing::Test {
protected:
    void put(const std::string& name, const std::string& content) { writeFile(tmp.path() / name, content); }
    LanguageModelConfigurationFromHub load() { return LanguageModelConfigurationFromHub(tmp.path(), wrapper); }
    TemporaryFolder tmp;
    HubApiWrapper wrapper{tmp.path() / "cache", std::string(), std::string("http://127.0.0.1:1")};
};

}  // namespace

TEST_F(ModelFolder, OnlyTokenizerDataGivesNoOtherConfiguration) {
    put("tokenizer.json", R"({"model":{"type":"BPE"}})");
    auto loaded = load();
    EXPECT_FALSE(loaded.modelConfig());
    EXPECT_FALSE(loaded.tokenizerConfig());
    EXPECT_EQ(loaded.tokenizerData()["model"]["type"].string().value_or(""), "BPE");
}

TEST_F(ModelFolder, MissingTokenizerDataFailsEveryQuery) {
    put("config.json", "{}");
    auto loaded = load();
    for (int i = 0; i < 2; ++i) {
        try {
            loaded.tokenizerConfig();
            FAIL();
        } catch (const HubClientError& e) {
            EXPECT_EQ(e.description(), "Required configuration file missing: tokenizer.json");
        }
    }
}

TEST_F(ModelFolder, TokenizerClassIsDerivedFromTheModelType) {
    put("tokenizer.json", "{}");
    put("tokenizer_config.json", R"({"bos_token":"<s>"})");
    for (auto [type, expected] : std::vector<std::pair<std::string, std::string>>{
             {"whisper", "WhisperTokenizer"}, {"gpt2", "Gpt2Tokenizer"}, {"GPT2", "Gpt2Tokenizer"},
             {"xlm-roberta", "Xlm-robertaTokenizer"}, {"bert_generation", "Bert_generationTokenizer"},
             {"two words", "Two WordsTokenizer"}}) {
        put("config.json", R"({"model_type":")" + type + R"("})");
        auto cfg = load().tokenizerConfig();
        ASSERT_TRUE(cfg);
        EXPECT_EQ((*cfg)["tokenizer_class"].string().value_or(""), expected);
        EXPECT_EQ((*cfg)["bosToken"].string().value_or(""), "<s>");
    }
}

TEST_F(ModelFolder, NamedTokenizerClassIsKeptAndANumericOneReplaced) {
    put("tokenizer.json", "{}");
    put("config.json", R"({"model_type":"whisper"})");
    put("tokenizer_config.json", R"({"tokenizer_class":"MyTokenizer"})");
    EXPECT_EQ((*load().tokenizerConfig())["tokenizerClass"].string().value_or(""), "MyTokenizer");
    put("tokenizer_config.json", R"({"tokenizer_class":7})");
    EXPECT_EQ((*load().tokenizerConfig())["tokenizerClass"].string().value_or(""), "WhisperTokenizer");
    fs::remove(tmp.path() / "config.json");
    EXPECT_EQ((*load().tokenizerConfig())["tokenizerClass"].integer().value_or(0), 7);
}

TEST_F(ModelFolder, ChatTemplateComesFromJinjaFirstThenJson) {
    put("tokenizer.json", "{}");
    put("tokenizer_config.json", R"({"chat_template":"old"})");
    put("chat_template.json", R"({"chat_template":"from json"})");
    EXPECT_EQ((*load().tokenizerConfig())["chat_template"].string().value_or(""), "from json");
    put("chat_template.jinja", "{{ messages }}");
    EXPECT_EQ((*load().tokenizerConfig())["chat_template"].string().value_or(""), "{{ messages }}");
    fs::remove(tmp.path() / "chat_template.jinja");
    put("chat_template.json", R"({"chat_template":[{"name":"a","template":"b"}]})");
    EXPECT_EQ((*load().tokenizerConfig())["chat_template"].string().value_or(""), "old");
}

TEST_F(ModelFolder, JinjaAloneMakesATokenizerConfiguration) {
    put("tokenizer.json", "{}");
    put("chat_template.jinja", "T");
    put("config.json", R"({"model_type":"whisper"})");
    auto cfg = load().tokenizerConfig();
    ASSERT_TRUE(cfg);
    EXPECT_EQ((*cfg)["chat_template"].string().value_or(""), "T");
    EXPECT_EQ((*cfg)["tokenizer_class"].string().value_or(""), "WhisperTokenizer");
}

TEST_F(ModelFolder, BadFilesGiveTheirErrors) {
    put("tokenizer.json", "{not json");
    try {
        load().tokenizerData();
        FAIL();
    } catch (const HubClientError& e) {
        EXPECT_EQ(e.kind(), HubClientError::Kind::jsonSerialization);
        EXPECT_NE(e.description().find("tokenizer.json"), std::string::npos);
        EXPECT_NE(e.description().find("Please verify that you have set the HF_TOKEN"), std::string::npos);
    }
    put("tokenizer.json", "[1,2]");
    try {
        load().tokenizerData();
        FAIL();
    } catch (const HubClientError& e) {
        EXPECT_EQ(e.kind(), HubClientError::Kind::parse);
    }
    put("tokenizer.json", "{}");
    put("chat_template.jinja", std::string("\xff\xfe bad", 6));
    try {
        load().tokenizerData();
        FAIL();
    } catch (const HubClientError& e) {
        EXPECT_EQ(e.kind(), HubClientError::Kind::fileSystemError);
    }
}

TEST(LanguageModelConfigurationFromHubRoad, SnapshotsTheConfigurationFilesOnly) {
    LoopbackHub hub;
    hub.repoId = "org/tok";
    hub.setFile("config.json", R"({"model_type":"whisper"})");
    hub.setFile("tokenizer.json", R"({"model":{"type":"BPE"}})");
    hub.setFile("tokenizer_config.json", "{}");
    hub.setFile("model.bin", "weights");
    TemporaryFolder tmp;
    ScopedEnv ci("CI_DISABLE_NETWORK_MONITOR", "1");
    HubApiWrapper wrapper(tmp.path(), std::string(), hub.endpoint());
    LanguageModelConfigurationFromHub loaded(std::string("org/tok"), "main", wrapper);
    EXPECT_EQ((*loaded.tokenizerConfig())["tokenizer_class"].string().value_or(""), "WhisperTokenizer");
    EXPECT_FALSE(fs::exists(tmp.path() / "models/org/tok/model.bin"));
    EXPECT_TRUE(fs::exists(tmp.path() / "models/org/tok/tokenizer.json"));
}

TEST(LanguageModelConfigurationFromHubRoad, UnreachableHubFailsWithTheListingsDownloadError) {
    TemporaryFolder tmp;
    ScopedEnv ci("CI_DISABLE_NETWORK_MONITOR", "1");
    HubApiWrapper wrapper(tmp.path(), std::string(), std::string("http://127.0.0.1:1"));
    LanguageModelConfigurationFromHub loaded(std::string("org/tok"), "main", wrapper);
    // The listing is a GET: its transport failure is a download error.
    try {
        loaded.tokenizerData();
        FAIL();
    } catch (const HubClientError& e) {
        EXPECT_EQ(e.kind(), HubClientError::Kind::downloadError);
    }
}

TEST(LanguageModelConfigurationFromHubRoad, TransportFailureOfAFileQueryIsANetworkError) {
    TemporaryFolder tmp;
    platform::net::LoopbackServer server;
    server.server().Get("/api/models/org/tok/revision/main", [](const httplib::Request&, httplib::Response& res) {
        res.set_content(R"({"siblings":[{"rfilename":"tokenizer.json"}]})", "application/json");
    });
    // The file query redirects to itself until the client gives up.
    server.server().Get("/org/tok/resolve/main/tokenizer.json", [](const httplib::Request&, httplib::Response& res) {
        res.status = 302;
        res.set_header("Location", "/org/tok/resolve/main/tokenizer.json");
    });
    server.start();
    ScopedEnv ci("CI_DISABLE_NETWORK_MONITOR", "1");
    HubApiWrapper wrapper(tmp.path(), std::string(), server.baseUrl());
    LanguageModelConfigurationFromHub loaded(std::string("org/tok"), "main", wrapper);
    try {
        loaded.tokenizerData();
        FAIL();
    } catch (const HubClientError& e) {
        EXPECT_EQ(e.kind(), HubClientError::Kind::networkError);
        ASSERT_TRUE(e.urlError());
        EXPECT_EQ(e.urlError()->code(), platform::net::UrlError::Code::httpTooManyRedirects);
        EXPECT_EQ(e.errorDescription(), "Network error: too many HTTP redirects");
    }
}
