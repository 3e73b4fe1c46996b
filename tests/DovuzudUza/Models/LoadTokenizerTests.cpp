#include <gtest/gtest.h>

#include <cstdlib>
#include <stdexcept>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "DovuzudUza/Core/ModelUtilities.hpp"
#include "platform/foundation/UniqueFd.hpp"
#include "LogCapture.hpp"
#include "WhisperVocabularyFixture.hpp"

using namespace DovuzudUza;
using test_support::TemporaryFolder;
using test_support::WhisperVocabulary;

namespace {

WhisperVocabulary compact(int64_t endOfText) {
    WhisperVocabulary v;
    v.endOfText = endOfText;
    v.languageCount = 2;
    v.timeTokenCount = 2;
    return v;
}

// Points the hub at a local port that refuses connections: one of our own,
// bound but never listening, so nothing else can be answering there.
class UnreachableHub {
public:
    UnreachableHub() {
        if (const char* old = std::getenv("HF_ENDPOINT")) previous_ = old;
        socket_.reset(::socket(AF_INET, SOCK_STREAM, 0));
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        if (!socket_ || ::bind(socket_.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::getsockname(socket_.get(), reinterpret_cast<sockaddr*>(&address), &size) != 0)
            throw std::runtime_error("cannot reserve a local port");
        setenv("HF_ENDPOINT", ("http://127.0.0.1:" + std::to_string(ntohs(address.sin_port))).c_str(), 1);
    }
    ~UnreachableHub() {
        if (previous_)
            setenv("HF_ENDPOINT", previous_->c_str(), 1);
        else
            unsetenv("HF_ENDPOINT");
    }
    UnreachableHub(const UnreachableHub&) = delete;
    UnreachableHub& operator=(const UnreachableHub&) = delete;

private:
    std::optional<std::string> previous_;
    platform::UniqueFd socket_;
};

}  // namespace

TEST(LoadTokenizer, TheHubCopyWinsOverTheTokenizerFolder) {
    TemporaryFolder root;
    auto repo = root.path() / "models" / "openai" / "whisper-base";
    compact(400).write(repo);
    compact(500).write(root.path());
    test_support::LogCapture log;

    auto tokenizer = ModelUtilities::loadTokenizer(ModelVariant::base, root.path());
    EXPECT_EQ(tokenizer->specialTokens().specialTokenBegin, 400);
    EXPECT_EQ(tokenizer->encode(" Hola").size(), 3u);
    EXPECT_EQ(log.texts(), (std::vector<std::string>{
                               "Checking for local tokenizer at " + (repo / "tokenizer.json").string() + " - found",
                               "Found local tokenizer at " + repo.string(),
                               "Loading tokenizer from " + repo.string(),
                           }));
}

TEST(LoadTokenizer, SearchesTheTokenizerFolderThenTheAdditionalPaths) {
    TemporaryFolder root;
    auto extra = root.path() / "extra";
    auto second = root.path() / "second";
    compact(600).write(extra);
    compact(700).write(second);
    test_support::LogCapture log;

    auto tokenizer =
        ModelUtilities::loadTokenizer(ModelVariant::tinyEn, root.path() / "empty", {root.path() / "none", extra, second});
    EXPECT_EQ(tokenizer->specialTokens().specialTokenBegin, 600);
    auto texts = log.texts();
    ASSERT_EQ(texts.size(), 6u);
    EXPECT_EQ(texts[0], "Checking for local tokenizer at " +
                            (root.path() / "empty" / "models" / "openai" / "whisper-tiny.en" / "tokenizer.json").string() +
                            " - not found");
    EXPECT_EQ(texts[1], "Checking for local tokenizer at " + (root.path() / "empty" / "tokenizer.json").string() +
                            " - not found");
    EXPECT_EQ(texts[3], "Checking for local tokenizer at " + (extra / "tokenizer.json").string() + " - found");
}

TEST(LoadTokenizer, ABrokenLocalTokenizerFallsBackToTheHub) {
    TemporaryFolder root;
    std::ofstream(root.path() / "tokenizer.json") << "{\"model\": ";
    std::ofstream(root.path() / "tokenizer_config.json") << "{\"tokenizer_class\":\"WhisperTokenizer\"}";
    UnreachableHub hub;
    test_support::LogCapture log;

    EXPECT_ANY_THROW(ModelUtilities::loadTokenizer(ModelVariant::small, root.path()));
    auto texts = log.texts();
    auto has = [&](const std::string& prefix) {
        return std::any_of(texts.begin(), texts.end(), [&](const auto& t) { return t.rfind(prefix, 0) == 0; });
    };
    EXPECT_TRUE(has("Loading tokenizer from " + root.path().string()));
    EXPECT_TRUE(has("Error loading local tokenizer: "));
    EXPECT_TRUE(has("Downloading tokenizer from Hub at file://" +
                    (root.path() / "models" / "openai" / "whisper-small").string()));
}

TEST(LoadTokenizer, NothingLocalGoesToTheHub) {
    TemporaryFolder root;
    UnreachableHub hub;
    test_support::LogCapture log;
    EXPECT_ANY_THROW(ModelUtilities::loadTokenizer(ModelVariant::largev3, root.path()));
    auto texts = log.texts();
    EXPECT_NE(std::find(texts.begin(), texts.end(), "No tokenizer found in any local search paths"), texts.end());
}
