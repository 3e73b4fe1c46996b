#include <gtest/gtest.h>

#include "../Hub/HubTestSupport.hpp"
#include "TokenizerFixtures.hpp"
#include "ZezeziCore/External/Tokenizers/AutoTokenizer.hpp"
#include "ZezeziCore/External/Tokenizers/TokenizerError.hpp"

using namespace Tokenizers;
using fixtures::json;
namespace fs = std::filesystem;

namespace {

// A byte-pair model over metaspace pieces, as Llama files have.
json llamaFiles() {
    const std::string m = "\xE2\x96\x81";
    json vocab = {{"<unk>", 0}, {"<s>", 1}, {m + "hola", 2}, {m, 3}, {"h", 4}, {"o", 5}, {"l", 6}, {"a", 7},
                  {m + "h", 8}, {m + "ho", 9}, {m + "hol", 10}};
    json merges = json::array({m + " h", m + "h o", m + "ho l", m + "hol a"});
    return json{{"added_tokens", json::array({fixtures::addedToken(1, "<s>", true)})},
                {"model", {{"type", "BPE"}, {"vocab", vocab}, {"merges", merges}}}};
}

const json kLlamaConfig = {{"tokenizer_class", "LlamaTokenizerFast"}, {"legacy", false}, {"add_bos_token", true},
                           {"bos_token", "<s>"}};

class TokenizerFolder : public ::testing::Test {
protected:
    void put(const std::string& name, const std::string& content) { hubtest::writeFile(tmp.path() / "model" / name, content); }
    TokenizerWrapper load() { return AutoTokenizerWrapper::fromModelFolder(tmp.path() / "model", wrapper, true); }
    parlox::testing::TemporaryFolder tmp;
    Hub::HubApiWrapper wrapper{tmp.path() / "cache", std::string(), std::string("http://127.0.0.1:1")};
};

}  // namespace

TEST_F(TokenizerFolder, WhisperFilesGiveAByteLevelTokenizer) {
    put("tokenizer.json", fixtures::byteLevelBpeData().dump());
    put("tokenizer_config.json", fixtures::whisperConfig().dump());
    auto tokenizer = load();
    auto ids = tokenizer.encode("hola mundo");
    EXPECT_EQ(ids, (std::vector<int64_t>{401, 258, 265, 400}));
    EXPECT_EQ(tokenizer.decode(ids), "<|startoftranscript|>hola mundo<|endoftext|>");
    EXPECT_EQ(tokenizer.decode(ids, true), "hola mundo");
    auto copy = tokenizer;
    EXPECT_EQ(copy.impl().get(), tokenizer.impl().get());
}

TEST_F(TokenizerFolder, ClassComesFromTheModelTypeWhenTheConfigNamesNone) {
    put("tokenizer.json", fixtures::byteLevelBpeData().dump());
    put("tokenizer_config.json", R"({"clean_up_tokenization_spaces": false})");
    put("config.json", R"({"model_type": "whisper"})");
    EXPECT_EQ(load().tokenize("hola"), (std::vector<std::string>{"hola"}));
    put("config.json", R"({})");
    try {
        load();
        FAIL();
    } catch (const TokenizerError& e) {
        EXPECT_EQ(e.kind(), TokenizerError::Kind::missingTokenizerClassInConfig);
    }
}

TEST_F(TokenizerFolder, MissingTokenizerConfigIsMissingConfig) {
    put("tokenizer.json", fixtures::byteLevelBpeData().dump());
    try {
        load();
        FAIL();
    } catch (const TokenizerError& e) {
        EXPECT_EQ(e.kind(), TokenizerError::Kind::missingConfig);
        EXPECT_EQ(e.description(), "Tokenizer configuration is missing.");
    }
}

TEST_F(TokenizerFolder, FolderNeverPicksTheLlamaClass) {
    put("tokenizer.json", llamaFiles().dump());
    put("tokenizer_config.json", kLlamaConfig.dump());
    auto tokenizer = load();
    EXPECT_EQ(dynamic_cast<const LlamaPreTrainedTokenizer*>(tokenizer.impl().get()), nullptr);
}

TEST(AutoTokenizerFromHub, LlamaClassFromARepository) {
    hubtest::LoopbackHub hub;
    hub.setFile("tokenizer.json", llamaFiles().dump());
    hub.setFile("tokenizer_config.json", kLlamaConfig.dump());
    hub.setFile("config.json", R"({"model_type": "llama"})");
    parlox::testing::TemporaryFolder tmp;
    Hub::HubApiWrapper wrapper(tmp.path(), std::string(), hub.endpoint());
    wrapper.impl = hubtest::makeApi(hub, tmp.path());
    auto tokenizer = AutoTokenizerWrapper::fromPretrained(hub.repoId, wrapper, true);
    auto* llama = dynamic_cast<const LlamaPreTrainedTokenizer*>(tokenizer.impl().get());
    ASSERT_NE(llama, nullptr);
    EXPECT_FALSE(llama->isLegacy());
    // The rewritten post-processor puts the begin token first.
    EXPECT_EQ(tokenizer.encode("hola"), (std::vector<int64_t>{1, 2}));
}

// Run in a fresh process, so that no earlier test has made the network monitor.
TEST(AutoTokenizerFromFolder, TouchesNeitherTheNetworkNorTheNetworkMonitor) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    hubtest::LoopbackHub hub;
    parlox::testing::TemporaryFolder tmp;
    hubtest::writeFile(tmp.path() / "model" / "tokenizer.json", fixtures::byteLevelBpeData().dump());
    hubtest::writeFile(tmp.path() / "model" / "tokenizer_config.json", fixtures::whisperConfig().dump());
    EXPECT_EXIT(
        {
            ::setenv("HF_ENDPOINT", hub.endpoint().c_str(), 1);
            ::setenv("HOME", tmp.path().c_str(), 1);
            ::unsetenv("XDG_CACHE_HOME");
            ::unsetenv("CI_DISABLE_NETWORK_MONITOR");
            int faults = 0;
            Hub::HubApiWrapper wrapper;
            if (wrapper.impl.downloadBase != tmp.path() / ".cache" / "huggingface") faults |= 1;
            auto withClient = AutoTokenizerWrapper::fromModelFolder(tmp.path() / "model", wrapper, true);
            auto withoutClient = AutoTokenizerWrapper::fromModelFolder(tmp.path() / "model", true);
            if (withClient.encode("hola") != withoutClient.encode("hola")) faults |= 2;
            if (Hub::HubApi::NetworkMonitor::sharedExists()) faults |= 4;
            if (!hub.server.requests().empty()) faults |= 8;
            // Nothing was made in the home folder either.
            if (fs::exists(tmp.path() / ".cache") || fs::exists(tmp.path() / "Documents")) faults |= 16;
            std::exit(faults);
        },
        ::testing::ExitedWithCode(0), "");
}
