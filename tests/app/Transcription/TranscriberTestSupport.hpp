#pragma once

// An engine transcriber whose download and engine can be replaced, a
// recorder of the states it reports, and a private data folder.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <vector>

#include "app/Support/Log.hpp"
#include "app/Transcription/EngineTranscriber.hpp"
#include "tests/Hub/LoopbackHub.hpp"
#include "tests/app/AppTestSupport.hpp"
#include "tests/app/Sandbox.hpp"

namespace transcriber_test {

namespace fs = std::filesystem;
using Parlox::Transcriber;
using State = Transcriber::State;
using Kind = State::Kind;
using Engine = DovuzudUza::DovuzudUza;

class ScriptedTranscriber : public Parlox::EngineTranscriber {
public:
    ~ScriptedTranscriber() override { waitForLoad(); }

    // When set, these stand in for the hub and for the engine.
    std::function<fs::path(const DovuzudUza::ProgressCallback&, const std::function<void()>&)> download;
    std::function<std::shared_ptr<Engine>(const DovuzudUza::DovuzudUzaConfig&)> build;

    std::atomic<int> downloads{0};
    std::atomic<int> builds{0};
    std::vector<DovuzudUza::DovuzudUzaConfig> configs() const {
        std::lock_guard lock(mutex_);
        return configs_;
    }

protected:
    fs::path downloadModel(const DovuzudUza::ProgressCallback& progress, const std::function<void()>& willConvert,
                           std::stop_token stop) override {
        ++downloads;
        if (download) return download(progress, willConvert);
        return EngineTranscriber::downloadModel(progress, willConvert, stop);
    }
    std::shared_ptr<Engine> buildEngine(const DovuzudUza::DovuzudUzaConfig& config, std::stop_token stop) override {
        ++builds;
        {
            std::lock_guard lock(mutex_);
            configs_.push_back(config);
        }
        if (build) return build(config);
        return EngineTranscriber::buildEngine(config, stop);
    }

private:
    mutable std::mutex mutex_;
    std::vector<DovuzudUza::DovuzudUzaConfig> configs_;
};

// Every state a transcriber reports, with a wait for the end of a load.
class StateRecorder {
public:
    explicit StateRecorder(Transcriber& transcriber)
        : connection_(transcriber.stateChanged().connect([this](const State& s) {
              std::lock_guard lock(mutex_);
              states_.push_back(s);
              changed_.notify_all();
          })) {}

    // Waits (up to a minute) for the next ready or failed state after `from` states.
    State waitForEnd(size_t from = 0) {
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, std::chrono::seconds(60), [&] { return endAfter(from).has_value(); });
        auto end = endAfter(from);
        return end ? *end : State::idle();
    }
    std::vector<State> states() const {
        std::lock_guard lock(mutex_);
        return states_;
    }
    // The kinds in order, with runs of downloading states folded into one.
    std::vector<State::Kind> kinds() const {
        std::vector<State::Kind> out;
        for (const auto& s : states())
            if (out.empty() || s.kind != State::Kind::downloading || out.back() != State::Kind::downloading)
                out.push_back(s.kind);
        return out;
    }

private:
    std::optional<State> endAfter(size_t from) const {
        for (size_t i = from; i < states_.size(); ++i)
            if (states_[i].kind == State::Kind::ready || states_[i].kind == State::Kind::failed) return states_[i];
        return std::nullopt;
    }

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<State> states_;
    platform::Connection connection_;
};

// A private data folder (where the models go) and log folder for one test.
struct DataFolder {
    DataFolder() { app_test::useSandbox(); }
    parlox::testing::TemporaryFolder root{"parlox-data-"};
    hubtest::ScopedEnv data{"XDG_DATA_HOME", root.path().c_str()};

    std::vector<std::string> newLogLines(size_t& seen) const {
        Parlox::Log::flush();
        const auto all = app_test::lines(app_test::readFile(Parlox::Log::fileURL()));
        std::vector<std::string> fresh(all.begin() + static_cast<long>(std::min(seen, all.size())), all.end());
        seen = all.size();
        return fresh;
    }
};

inline bool anyEndsWith(const std::vector<std::string>& lines, const std::string& text) {
    return std::any_of(lines.begin(), lines.end(), [&](const std::string& l) {
        return l.size() >= text.size() && l.compare(l.size() - text.size(), text.size(), text) == 0;
    });
}

}  // namespace transcriber_test
