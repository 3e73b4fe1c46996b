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
    HubApi::setLogSink([](const std::string&) {});
    EXPECT_EQ(offlineError(), "Offline mode error: Metadata not available for config.json");
    HubApi::setLogSink(nullptr);
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

TEST_F(SnapshotOffline, ForcedOnlineIgnoresTheMonitor) {
    ScopedEnv ci("CI_DISABLE_NETWORK_MONITOR", nullptr);
    HubApi::NetworkMonitor::shared().state().update(false, false, false);
    EXPECT_EQ(online.snapshot({"org/model"}, "main"), repo());
    HubApi automatic = online;
    automatic.useOfflineMode.reset();
    hub.server.clearRequests();
    automatic.snapshot({"org/model"}, "main");
    EXPECT_TRUE(hub.server.requests().empty());
    HubApi::NetworkMonitor::shared().state().update(true, false, false);
}
