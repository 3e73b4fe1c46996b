#pragma once

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <utility>

#include "platform/concurrency/Channel.hpp"

namespace GlobalKeyBindings {

enum class EventType { keyDown, keyUp };

// The key events of one name or shortcut, buffered without bound. Any
// thread may receive. Dropping the stream (or cancel()) ends it; its hot key
// is released shortly afterwards on the main thread when nobody else needs it.
class EventStream {
public:
    EventStream(std::shared_ptr<platform::Channel<EventType>> channel,
                std::function<void()> onTermination);
    EventStream(EventStream&& other) noexcept
        : channel_(std::move(other.channel_)), onTermination_(std::exchange(other.onTermination_, {})) {}
    EventStream& operator=(EventStream&& other) noexcept;
    ~EventStream();

    std::optional<EventType> receive(std::stop_token stop = {});
    std::optional<EventType> receiveFor(double seconds, std::stop_token stop = {});
    std::optional<EventType> tryReceive();
    void cancel();

private:
    std::shared_ptr<platform::Channel<EventType>> channel_;
    std::function<void()> onTermination_;
};

// Ticks of a held key: one at the press, then one per repeat interval once
// the repeat delay has passed, while the key stays held and its shortcut
// stays live. Only the newest tick is kept, so a slow reader never sees a
// backlog.
class RepeatingEventStream {
public:
    struct Core {
        std::mutex mutex;
        std::condition_variable_any condition;
        bool pending = false;
        bool closed = false;

        void yield();
        void close();
    };

    RepeatingEventStream(std::shared_ptr<Core> core, std::function<void()> onTermination);
    RepeatingEventStream(RepeatingEventStream&& other) noexcept
        : core_(std::move(other.core_)), onTermination_(std::exchange(other.onTermination_, {})) {}
    RepeatingEventStream& operator=(RepeatingEventStream&& other) noexcept;
    ~RepeatingEventStream();

    // True for a tick; false once the stream has ended (or on stop/timeout).
    bool receive(std::stop_token stop = {});
    bool receiveFor(double seconds, std::stop_token stop = {});
    bool tryReceive();
    void cancel();

private:
    std::shared_ptr<Core> core_;
    std::function<void()> onTermination_;
};

}  // namespace GlobalKeyBindings
