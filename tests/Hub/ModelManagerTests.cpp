#include <gtest/gtest.h>

#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <fstream>
#include <functional>
#include <string>
#include <thread>

#include "ZezeziCore/External/Hub/ModelManager.hpp"
#include "ZezeziCore/Logging.hpp"
#include "ZezeziCore/ZezeziCoreError.hpp"

using Hub::ModelManager;
using ZezeziCore::ModelState;

namespace {

class FakeLoader : public Hub::ModelLoader {
public:
    std::optional<std::string> folder;
    std::atomic<int> resolves{0}, loads{0}, unloads{0};
    bool failResolve = false, failLoad = false;
    // While set, the resolve waits: the test lets it go once every caller waits on it.
    std::atomic<bool> held{false};

    std::optional<std::string> modelFolder() const override { return folder; }
    std::string resolveModels(Hub::ModelDownloader&, const Hub::ModelDownloader::ProgressCallback&) override {
        ++resolves;
        while (held) std::this_thread::yield();
        if (failResolve) throw std::runtime_error("no network");
        return "/models/resolved";
    }
    void load(const std::string&, bool) override {
        ++loads;
        if (failLoad) throw std::runtime_error("bad weights");
    }
    void unload() override { ++unloads; }
};

using Transition = std::pair<ModelState, ModelState>;

struct Fixture {
    std::shared_ptr<FakeLoader> loader = std::make_shared<FakeLoader>();
    std::shared_ptr<Hub::ModelDownloader> downloader =
        std::make_shared<Hub::ModelDownloader>("http://127.0.0.1:1", "org/x", std::nullopt, "main", false);
    ModelManager manager{loader, downloader};
    std::mutex mutex;
    std::vector<Transition> seen;
    Fixture() {
        manager.setModelStateCallback([this](ModelState a, ModelState b) {
            std::lock_guard lock(mutex);
            seen.emplace_back(a, b);
        });
    }
};

// Whether thread `tid` of this process sleeps in a futex wait on memory
// outside `manager`: on the shared load, not on the manager's own locks nor
// before it got there.
bool waitsOnTheLoad(pid_t tid, const ModelManager& manager) {
    std::ifstream in("/proc/self/task/" + std::to_string(tid) + "/syscall");
    long number = -1;
    std::string address;
    if (!(in >> number >> address) || number != SYS_futex) return false;
    const auto at = std::stoull(address, nullptr, 16);
    const auto begin = reinterpret_cast<std::uintptr_t>(&manager);
    return at < begin || at >= begin + sizeof manager;
}

// Runs `call` on three threads at once and lets the held resolve go only
// when all three wait on it: a caller held up on its way in must not find
// the load already over and start one of its own.
void callConcurrently(Fixture& f, const std::function<void()>& call) {
    f.loader->held = true;
    std::atomic<pid_t> tids[3] = {0, 0, 0};
    std::vector<std::thread> callers;
    for (auto& tid : tids)
        callers.emplace_back([&] {
            tid = static_cast<pid_t>(::syscall(SYS_gettid));
            call();
        });
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    auto allWait = [&] {
        for (const auto& tid : tids)
            if (tid == 0 || !waitsOnTheLoad(tid, f.manager)) return false;
        return true;
    };
    while (!allWait() && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_TRUE(allWait()) << "the callers did not all wait on the load";
    f.loader->held = false;
    for (auto& t : callers) t.join();
}

class Custom : public ModelManager {
public:
    using ModelManager::ModelManager;
};

}  // namespace

TEST(ModelManagerTests, NewManager) {
    Fixture f;
    EXPECT_EQ(f.manager.modelState(), ModelState::unloaded);
    EXPECT_FALSE(f.manager.isAvailable());
    EXPECT_FALSE(f.manager.isLoaded());
    EXPECT_FALSE(f.manager.modelPath());
    EXPECT_FALSE(f.manager.modelFolder());
    EXPECT_EQ(f.manager.loggerName(), "ModelManager");
    Custom custom(f.loader, f.downloader);
    EXPECT_EQ(custom.loggerName(), "Custom");
}

TEST(ModelManagerTests, LoaderWithFolderNeverResolves) {
    Fixture f;
    f.loader->folder = "/local/models";
    f.manager.loadModels();
    EXPECT_EQ(f.loader->resolves, 0);
    EXPECT_EQ(f.seen, (std::vector<Transition>{{ModelState::unloaded, ModelState::downloaded},
                                               {ModelState::downloaded, ModelState::loading},
                                               {ModelState::loading, ModelState::loaded}}));
    EXPECT_EQ(f.manager.modelPath(), std::filesystem::path("/local/models"));
}

TEST(ModelManagerTests, PrewarmThenLoadThenUnload) {
    Fixture f;
    f.manager.prewarmModels();
    EXPECT_FALSE(f.manager.isAvailable());
    f.manager.prewarmModels();  // skipped
    f.manager.loadModels();
    f.manager.unloadModels();
    EXPECT_EQ(f.seen, (std::vector<Transition>{{ModelState::unloaded, ModelState::downloading},
                                               {ModelState::downloading, ModelState::downloaded},
                                               {ModelState::downloaded, ModelState::prewarming},
                                               {ModelState::prewarming, ModelState::prewarmed},
                                               {ModelState::prewarmed, ModelState::loading},
                                               {ModelState::loading, ModelState::loaded},
                                               {ModelState::loaded, ModelState::unloading},
                                               {ModelState::unloading, ModelState::unloaded}}));
    EXPECT_EQ(f.loader->unloads, 1);
}

TEST(ModelManagerTests, WrongStatesAreRefusedWithoutChange) {
    Fixture f;
    f.manager.loadModels();
    f.seen.clear();
    try {
        f.manager.prewarmModels();
        FAIL();
    } catch (const ZezeziCore::ZezeziCoreError& e) {
        EXPECT_EQ(e.description(), "Cannot prewarm in state: Loaded");
    }
    EXPECT_TRUE(f.seen.empty());
    f.manager.unloadModels();
    f.seen.clear();
    f.manager.downloadModels();
    f.manager.unloadModels();  // downloaded: nothing to do
    EXPECT_EQ(f.seen, (std::vector<Transition>{{ModelState::unloaded, ModelState::downloading},
                                               {ModelState::downloading, ModelState::downloaded}}));
    EXPECT_TRUE(f.manager.isAvailable());
}

TEST(ModelManagerTests, FailuresReturnToUnloaded) {
    Fixture f;
    f.loader->failResolve = true;
    EXPECT_THROW(f.manager.loadModels(), std::runtime_error);
    EXPECT_EQ(f.seen, (std::vector<Transition>{{ModelState::unloaded, ModelState::downloading},
                                               {ModelState::downloading, ModelState::unloaded}}));
    f.loader->failResolve = false;
    f.loader->failLoad = true;
    EXPECT_THROW(f.manager.loadModels(), std::runtime_error);
    EXPECT_EQ(f.manager.modelState(), ModelState::unloaded);
    EXPECT_TRUE(f.manager.modelPath());
    f.loader->failLoad = false;
    f.manager.loadModels();
    EXPECT_EQ(f.loader->resolves, 3);
    EXPECT_TRUE(f.manager.isLoaded());
}

TEST(ModelManagerTests, ConcurrentEnsureLoadsOnce) {
    Fixture f;
    std::atomic<int> done{0};
    callConcurrently(f, [&] {
        f.manager.ensureModelsLoaded();
        ++done;
    });
    EXPECT_EQ(done, 3);
    EXPECT_EQ(f.loader->resolves, 1);
    EXPECT_EQ(f.loader->loads, 1);
    f.manager.ensureModelsLoaded();
    EXPECT_EQ(f.loader->resolves, 1);
}

TEST(ModelManagerTests, ConcurrentEnsureSharesTheFailure) {
    Fixture f;
    f.loader->failResolve = true;
    std::atomic<int> failures{0};
    callConcurrently(f, [&] {
        try {
            f.manager.ensureModelsLoaded();
        } catch (const std::runtime_error& e) {
            if (std::string(e.what()) == "no network") ++failures;
        }
    });
    EXPECT_EQ(failures, 3);
    EXPECT_EQ(f.loader->resolves, 1);
    f.loader->failResolve = false;
    f.manager.ensureModelsLoaded();
    EXPECT_TRUE(f.manager.isLoaded());
}

TEST(ModelManagerTests, MissingPathIsReported) {
    // A manager whose download step finds nothing and sets no path.
    class NoDownload : public ModelManager {
    public:
        using ModelManager::ModelManager;
        void downloadModels(const Hub::ModelDownloader::ProgressCallback&) override {}
    };
    auto loader = std::make_shared<FakeLoader>();
    NoDownload manager(loader, std::make_shared<Hub::ModelDownloader>("http://x:1", "o/x", std::nullopt, "main", false));
    for (int i = 0; i < 2; ++i) {
        try {
            if (i == 0) manager.loadModels();
            else manager.prewarmModels();
            FAIL();
        } catch (const ZezeziCore::ZezeziCoreError& e) {
            EXPECT_EQ(e.description(), "No model path available. Call downloadModels() first, or provide modelFolder.");
        }
    }
    EXPECT_EQ(manager.modelState(), ModelState::unloaded);
    EXPECT_EQ(loader->loads, 0);
}

TEST(ModelManagerTests, LogLinesNameTheManager) {
    Fixture f;
    f.loader->folder = "/models/here";
    std::vector<std::string> lines;
    ZezeziCore::Logging::updateLogLevel(ZezeziCore::Logging::LogLevel::debug);
    ZezeziCore::Logging::updateCallback([&](const std::string& line) { lines.push_back(line); });
    f.manager.prewarmModels();
    f.manager.prewarmModels();
    f.manager.loadModels();
    f.manager.loadModels();
    f.manager.unloadModels();
    f.loader->failLoad = true;
    EXPECT_THROW(f.manager.loadModels(), std::runtime_error);
    ZezeziCore::Logging::updateCallback(nullptr);
    ZezeziCore::Logging::updateLogLevel(ZezeziCore::Logging::LogLevel::none);
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "[ModelManager] modelFolder is set, skipping download",
                         "[ModelManager] Models prewarmed successfully",
                         "[ModelManager] Models already prewarmed, skipping",
                         "[ModelManager] Models loaded successfully",
                         "[ModelManager] Models already loaded, skipping",
                         "[ModelManager] modelFolder is set, skipping download",
                         "[ModelManager] Failed to load models: bad weights",
                     }));
}
