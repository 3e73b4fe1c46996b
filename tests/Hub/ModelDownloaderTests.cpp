#include <gtest/gtest.h>

#include "HubTestSupport.hpp"
#include "ZezeziCore/External/Hub/ModelDownloader.hpp"
#include "ZezeziCore/Logging.hpp"

using namespace hubtest;
using Hub::ModelDownloader;
using Hub::ModelDownloaderError;
using Hub::ModelInfo;
using ZezeziCore::Logging;
using ZezeziCore::ModelState;
namespace fs = std::filesystem;

TEST(ModelInfoTests, PatternUrlAndTexts) {
    ModelInfo bare{std::nullopt, std::nullopt, "n", platform::ml::ComputeUnits::all};
    EXPECT_EQ(bare.downloadPattern(), "n/*/*/*");
    EXPECT_EQ(bare.modelURL("/base"), fs::path("/base/n"));
    EXPECT_EQ(bare.description(), "n");
    ModelInfo full{"v", "x", "n", static_cast<platform::ml::ComputeUnits>(7)};
    EXPECT_EQ(full.downloadPattern(), "n/v/x/*");
    EXPECT_EQ(full.modelURL("/base"), fs::path("/base/n/v/x"));
    EXPECT_EQ(full.description(), "n/v/x");
    EXPECT_EQ(full.debugDescription(), "ModelInfo(name: n, version: v, variant: x, computeUnit: unknown)");
    EXPECT_EQ(bare.debugDescription(), "ModelInfo(name: n, version: nil, variant: nil, computeUnit: all)");
    EXPECT_EQ(bare.findBaseFolder("/a/b/n/c"), fs::path("/a/b"));
    EXPECT_FALSE(bare.findBaseFolder("/a/b/c"));
    ModelInfo root{std::nullopt, std::nullopt, "/", platform::ml::ComputeUnits::all};
    EXPECT_FALSE(root.findBaseFolder("/"));
}

namespace {

class ModelDownloaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        hub.repoId = "org/models";
        hub.setFile("tiny/v1/int8/Encoder.mlmodelc/weights.bin", LoopbackHub::randomBytes(2000, 5), true);
        hub.setFile("tiny/v1/int8/Encoder.mlmodelc/model.json", "{}");
        hub.setFile("tiny/v1/int8/config.json", "{}");
        hub.setFile("other/file.txt", "x");
        Logging::updateLogLevel(Logging::LogLevel::debug);
        Logging::updateCallback([this](const std::string& s) {
            std::lock_guard lock(logMutex);
            logs.push_back(s);
        });
    }
    void TearDown() override {
        Logging::updateCallback(nullptr);
        Logging::updateLogLevel(Logging::LogLevel::none);
    }
    ModelDownloader downloader(bool reachable = true) {
        Hub::ModelDownloadConfig config{tmp.path().string(), "org/models", std::string(),
                                        std::nullopt,        false,        reachable ? hub.endpoint() : "http://127.0.0.1:1",
                                        "main"};
        return ModelDownloader(config);
    }
    bool logged(const std::string& text) {
        std::lock_guard lock(logMutex);
        for (auto& l : logs)
            if (l.find(text) != std::string::npos) return true;
        return false;
    }
    fs::path modelDir() const { return tmp.path() / "models/org/models/tiny/v1/int8"; }

    LoopbackHub hub;
    TemporaryFolder tmp;
    ScopedEnv ci{"CI_DISABLE_NETWORK_MONITOR", "1"};
    ModelInfo info{"v1", "int8", "tiny", platform::ml::ComputeUnits::cpuOnly};
    std::mutex logMutex;
    std::vector<std::string> logs;
};

}  // namespace

TEST_F(ModelDownloaderTest, DownloadsThenFindsTheModelInTheCacheWithoutTheNetwork) {
    std::vector<ModelState> states;
    auto d = downloader();
    auto url = d.resolveModel("Encoder", info, std::nullopt, std::nullopt, true, [&](ModelState s) { states.push_back(s); });
    EXPECT_EQ(url, modelDir() / "Encoder.mlmodelc");
    EXPECT_EQ(states, (std::vector<ModelState>{ModelState::downloading, ModelState::downloaded}));
    EXPECT_FALSE(fs::exists(tmp.path() / "models/org/models/other"));
    EXPECT_TRUE(logged("[ModelDownloader] Downloaded Encoder"));
    EXPECT_TRUE(logged("[ModelDownloader] Downloading model tiny/v1/int8/* with offline mode: false"));

    // The hub is gone: the cached copy is still found, offline.
    states.clear();
    auto offline = downloader(false);
    EXPECT_EQ(offline.resolveModelPath("Encoder", info, std::nullopt, std::nullopt, false,
                                       [&](ModelState s) { states.push_back(s); }),
              (modelDir() / "Encoder.mlmodelc").string());
    EXPECT_EQ(states, (std::vector<ModelState>{ModelState::downloaded}));
    EXPECT_TRUE(logged("[ModelDownloader] Found existing Encoder in cache"));
}

TEST_F(ModelDownloaderTest, ModelFolderWinsWithoutAnyHubCall) {
    TemporaryFolder local;
    fs::create_directories(local.path() / "tiny/v1/int8/Encoder.mlmodelc");
    int calls = 0;
    auto url = downloader(false).resolveModel("Encoder", info, local.path(), std::nullopt, false,
                                              [&](ModelState) { ++calls; });
    EXPECT_EQ(url, local.path() / "tiny/v1/int8/Encoder.mlmodelc");
    EXPECT_EQ(calls, 0);
    EXPECT_TRUE(hub.server.requests().empty());
}

TEST_F(ModelDownloaderTest, MissingModelMessages) {
    try {
        downloader(false).resolveModel("Encoder", info, std::nullopt, std::nullopt, false);
        FAIL();
    } catch (const ModelDownloaderError& e) {
        EXPECT_EQ(e.description(), "No model found for Encoder (download disabled)");
    }
    try {
        downloader().resolveModel("Decoder", info);
        FAIL();
    } catch (const ModelDownloaderError& e) {
        EXPECT_EQ(e.description(), "No model found for Decoder");
    }
    ModelInfo absent{"v9", std::nullopt, "tiny", platform::ml::ComputeUnits::all};
    try {
        downloader().downloadModel(absent, std::nullopt, true);
        FAIL();
    } catch (const ModelDownloaderError& e) {
        EXPECT_EQ(e.description(), "No models found matching \"tiny/v9/*/*\" in org/models");
    }
}

TEST_F(ModelDownloaderTest, ResolveRepoValidatesTheLocalCopyBeforeDownloading) {
    auto d = downloader();
    try {
        downloader(false).resolveRepo({"tiny/v1/*"}, std::nullopt, false);
        FAIL();
    } catch (const ModelDownloaderError& e) {
        EXPECT_EQ(e.description(), "No valid local models found for repo 'org/models' and download is disabled.");
    }
    double last = 0;
    auto folder = d.resolveRepo({"tiny/v1/*", "other/*"}, std::nullopt, true,
                                [&](const Hub::Progress& p) { last = p.fractionCompleted(); });
    EXPECT_EQ(folder, tmp.path() / "models/org/models");
    EXPECT_DOUBLE_EQ(last, 1.0);
    EXPECT_TRUE(logged("[ModelDownloader] Downloading 2 model(s) from org/models..."));
    hub.server.clearRequests();
    EXPECT_EQ(downloader(false).resolveRepo({"tiny/v1/*"}, std::nullopt, false), folder);
    EXPECT_TRUE(logged("[ModelDownloader] Found valid local cache at "));

    // A tampered large file does not validate: downloaded again.
    writeFile(modelDir() / "Encoder.mlmodelc/weights.bin", "tampered");
    d.resolveRepo({"tiny/v1/*"});
    EXPECT_TRUE(logged("didn't validate (File integrity check failed: Hash mismatch for weights.bin); re-resolving."));
    EXPECT_EQ(readFile(modelDir() / "Encoder.mlmodelc/weights.bin"),
              hub.files["tiny/v1/int8/Encoder.mlmodelc/weights.bin"].content);
}

TEST_F(ModelDownloaderTest, LocalPresenceNeedsNonEmptyFoldersForTheLeadingComponents) {
    // Presence is only a cheap pre-check; it decides whether validation runs.
    fs::create_directories(tmp.path() / "models/org/models/tiny");
    EXPECT_THROW(downloader(false).resolveRepo({"tiny/*/*/*"}, std::nullopt, false), ModelDownloaderError);
    EXPECT_FALSE(logged("didn't validate"));
    writeFile(tmp.path() / "models/org/models/tiny/file", "x");
    EXPECT_THROW(downloader(false).resolveRepo({"tiny/*/*/*"}, std::nullopt, false), ModelDownloaderError);
    EXPECT_TRUE(logged("didn't validate"));
    logs.clear();
    EXPECT_THROW(downloader(false).resolveRepo({"*/x", ""}, std::nullopt, false), ModelDownloaderError);
    EXPECT_THROW(downloader(false).resolveRepo({"tiny/file"}, std::nullopt, false), ModelDownloaderError);
    EXPECT_FALSE(logged("didn't validate"));
}

TEST_F(ModelDownloaderTest, FilenamesAndRepositoryPlace) {
    auto d = downloader();
    // "*" also crosses "/".
    auto names = d.fetchFilenames({"tiny/v1/int8/*.json"});
    EXPECT_EQ(names, (std::vector<std::string>{"tiny/v1/int8/Encoder.mlmodelc/model.json", "tiny/v1/int8/config.json"}));
    EXPECT_EQ(d.localRepoLocation(), tmp.path() / "models/org/models");
    EXPECT_EQ(d.localRepoLocation(fs::path("/elsewhere")), fs::path("/elsewhere/models/org/models"));
    ModelDownloader convenience("http://h:1", "org/x", std::nullopt, "main", false);
    EXPECT_FALSE(convenience.config().downloadBase);
    EXPECT_FALSE(convenience.config().modelFolder);
}
