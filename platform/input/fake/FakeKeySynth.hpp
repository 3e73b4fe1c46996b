#pragma once

#include <functional>
#include <mutex>
#include <vector>

#include "platform/input/KeySynth.hpp"

namespace platform::input {

// Synthetic keys for tests: records every key posted and hands it to an
// optional handler, through which a test's fake desktop acts on it (the
// focused field pastes, the pasteboard receives a copy, ...).
class FakeKeySynth final : public KeySynth {
public:
    enum class Key { copy, paste, undo, deleteBackward, nudgePointer };
    struct Event {
        Key key;
        KeyTarget target;
        friend bool operator==(const Event&, const Event&) = default;
    };
    using Handler = std::function<void(const Event&)>;

    void setHandler(Handler handler) {
        std::lock_guard lock(mutex_);
        handler_ = std::move(handler);
    }

    // Copy and undo reach ordinary programs only, as on the desktop.
    bool copy(KeyTarget target) override {
        if (target != KeyTarget::ordinary) return false;
        record({Key::copy, target});
        return true;
    }
    void paste(KeyTarget target) override { record({Key::paste, target}); }
    bool undo(KeyTarget target) override {
        if (target != KeyTarget::ordinary) return false;
        record({Key::undo, target});
        return true;
    }
    void deleteBackward() override { record({Key::deleteBackward, KeyTarget::ordinary}); }
    void nudgePointer() override { record({Key::nudgePointer, KeyTarget::ordinary}); }

    std::vector<Event> events() const {
        std::lock_guard lock(mutex_);
        return events_;
    }
    std::vector<Key> keys() const {
        std::lock_guard lock(mutex_);
        std::vector<Key> keys;
        for (const auto& event : events_) keys.push_back(event.key);
        return keys;
    }
    void clear() {
        std::lock_guard lock(mutex_);
        events_.clear();
    }

private:
    void record(const Event& event) {
        Handler handler;
        {
            std::lock_guard lock(mutex_);
            events_.push_back(event);
            handler = handler_;
        }
        if (handler) handler(event);
    }

    mutable std::mutex mutex_;
    std::vector<Event> events_;
    Handler handler_;
};

}  // namespace platform::input
