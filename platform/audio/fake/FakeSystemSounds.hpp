#pragma once

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/audio/SystemSounds.hpp"

namespace platform::audio {

// Named sounds for tests: every sound the test did not mark missing exists;
// each records what was done to it, in order, in one shared log.
class FakeSystemSounds final : public SystemSounds {
public:
    struct Action {
        std::string sound;
        std::string what;  // "stop", "volume", "play"
        float volume = 0;
        friend bool operator==(const Action&, const Action&) = default;
    };

    std::set<std::string> missing;
    int lookups = 0;

    std::shared_ptr<SystemSound> named(const std::string& name) override {
        ++lookups;
        if (missing.count(name)) return nullptr;
        return std::make_shared<Sound>(name, log_);
    }

    const std::vector<Action>& actions() const { return *log_; }
    // The names played, in order.
    std::vector<std::string> played() const {
        std::vector<std::string> names;
        for (const auto& action : *log_)
            if (action.what == "play") names.push_back(action.sound);
        return names;
    }
    void clear() { log_->clear(); }

private:
    class Sound final : public SystemSound {
    public:
        Sound(std::string name, std::shared_ptr<std::vector<Action>> log) : name_(std::move(name)), log_(std::move(log)) {}
        void stop() override { log_->push_back({name_, "stop", 0}); }
        void setVolume(float volume) override { log_->push_back({name_, "volume", volume}); }
        void play() override { log_->push_back({name_, "play", 0}); }

    private:
        std::string name_;
        std::shared_ptr<std::vector<Action>> log_;
    };

    std::shared_ptr<std::vector<Action>> log_ = std::make_shared<std::vector<Action>>();
};

}  // namespace platform::audio
