#include <gtest/gtest.h>

#include "HubTestSupport.hpp"

using namespace hubtest;
using Hub::HubApi;
namespace fs = std::filesystem;

namespace {

class SnapshotOffline : public ::testing::Test {
protected:
    void SetUp() override {
        hub.setFile("config.json", "{}");
        hub.setFile("w/weights.bin", LoopbackHub::randomBytes(5000, 9), true);
        online = makeApi(hub, tmp.path());
        offline = online;
        offline.useOfflineMode = true;
        offline.endpoint = "http://127.0.0.1:1";  // never reached
    }
    fs::path repo() const { return tmp.path() / "models/org/model"; }
    fs::path meta() const { return repo() / ".cache/huggingface/download"; }

    std::string offlineError(const std::vector<std::string>& globs = {}) {
        try {
            offline.snapshot({"org/model"}, "any-revision", globs);
        } catch (const HubApi::EnvironmentError& e) {
            return e.description();
        }
        return "no error";
    }

    LoopbackHub hub;
    TemporaryFolder tmp;
    HubApi online, offline;
};

}  // namespace

TEST_F(SnapshotOffline, ServesAVerifiedCacheForAnyRevision) {
    online.snapshot({"org/model"}, "main");
    hub.server.clearRequests();
    EXPECT_EQ(offline.snapshot({"org/model"}, "never-downloaded"), repo());
    EXPECT_EQ(offline.snapshot({"org/model"}, "main", {"w/*"}), repo());
    EXPECT_TRUE(hub.server.requests().empty());
}

TEST_F(SnapshotOffline, FailsClearlyForWhatIsNotCached) {
    EXPECT_EQ(offlineError(), "Offline mode error: Repository not available locally");
    fs::create_directories(meta());
    EXPECT_EQ(offlineError(), "Offline mode error: No files available locally for this repository");
    online.snapshot({"org/model"}, "main", {"config.json"});
    EXPECT_EQ(offlineError({"*.bin"}), "Offline mode error: No files matching the requested patterns are available locally");
    writeFile(repo() / "stray.txt", "x");
    EXPECT_EQ(offlineError(), "Offline mode error: Metadata not available for stray.txt");
}

TEST_F(SnapshotOffline, CorruptMetadataMeansNotAvailableAndIsRemoved) {
    online.snapshot({"org/model"}, "main");
    writeFile(meta() / "config.json.metadata", "garbage");
    std::vector<std::string> logged;
    offline.logSink = [&](const std::string& m) { logged.push_back(m); };
    EXPECT_EQ(offlineError(), "Offline mode error: Metadata not available for config.json");
    EXPECT_EQ(logged.size(), 1u);
    EXPECT_FALSE(fs::exists(meta() / "config.json.metadata"));
}

TEST_F(SnapshotOffline, LargeFilesAreRehashedSmallOnesNot) {
    online.snapshot({"org/model"}, "main");
    writeFile(repo() / "config.json", "{\"changed\":1}");
    EXPECT_EQ(offline.snapshot({"org/model"}, "main"), repo());
    writeFile(repo() / "w/weights.bin", "tampered");
    EXPECT_EQ(offlineError(), "File integrity check failed: Hash mismatch for weights.bin");
}

TEST_F(SnapshotOffline, SymlinkOutOfTheRepositoryIsRefused) {
    online.snapshot({"org/model"}, "main");
    writeFile(tmp.path() / "outside.txt", "x");
    fs::create_symlink(tmp.path() / "outside.txt", repo() / "link.txt");
    EXPECT_EQ(offlineError(), "Offline mode error: Metadata not available for link.txt");
    // Filtering drops it before the check.
    EXPECT_EQ(offline.snapshot({"org/model"}, "main", {"*.json"}), repo());
}

// The flag decides when set; otherwise a hub on this machine is always
// reachable, and only a remote one follows the network monitor.
TEST_F(SnapshotOffline, TheRoadFollowsTheFlagThenALocalEndpointThenTheMonitor) {
    ScopedEnv ci("CI_DISABLE_NETWORK_MONITOR", nullptr);
    online.snapshot({"org/model"}, "main");
    const std::string local = hub.endpoint();
    const std::string localByName = "http://localhost:" + std::to_string(hub.server.port());
    struct Case {
        std::optional<bool> flag;
        bool connected;
        std::string endpoint;
        bool online;
    };
    const Case cases[] = {
        {false, false, local, true},           {std::nullopt, false, local, true},
        {std::nullopt, false, localByName, true}, {std::nullopt, false, "http://hub.invalid", false},
        {std::nullopt, true, local, true},     {true, true, local, false},
    };
    for (const auto& c : cases) {
        HubApi::NetworkMonitor::shared().state().update(c.connected, false, false);
        HubApi api = online;
        api.useOfflineMode = c.flag;
        api.endpoint = c.endpoint;
        hub.server.clearRequests();
        EXPECT_EQ(api.snapshot({"org/model"}, "main"), repo()) << c.endpoint;
        EXPECT_EQ(hub.server.requests().empty(), !c.online) << c.endpoint << " connected " << c.connected;
    }
    HubApi::NetworkMonitor::shared().state().update(true, false, false);
}
