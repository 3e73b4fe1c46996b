#include "GlobalKeyBindings/EventStream.hpp"

#include <chrono>
#include <utility>

namespace GlobalKeyBindings {

EventStream::EventStream(std::shared_ptr<platform::Channel<EventType>> channel,
                         std::function<void()> onTermination)
    : channel_(std::move(channel)), onTermination_(std::move(onTermination)) {}

EventStream& EventStream::operator=(EventStream&& other) noexcept {
    if (this != &other) {
        cancel();
        channel_ = std::move(other.channel_);
        onTermination_ = std::exchange(other.onTermination_, {});
    }
    return *this;
}

EventStream::~EventStream() { cancel(); }

void EventStream::cancel() {
    if (channel_) channel_->close();
    if (auto terminate = std::exchange(onTermination_, {})) terminate();
}

std::optional<EventType> EventStream::receive(std::stop_token stop) {
    return channel_ ? channel_->receive(stop) : std::nullopt;
}

std::optional<EventType> EventStream::receiveFor(double seconds, std::stop_token stop) {
    return channel_ ? channel_->receiveFor(seconds, stop) : std::nullopt;
}

std::optional<EventType> EventStream::tryReceive() {
    return channel_ ? channel_->tryReceive() : std::nullopt;
}

void RepeatingEventStream::Core::yield() {
    {
        std::lock_guard lock(mutex);
        if (closed) return;
        pending = true;
    }
    condition.notify_all();
}

void RepeatingEventStream::Core::close() {
    {
        std::lock_guard lock(mutex);
        closed = true;
    }
    condition.notify_all();
}

RepeatingEventStream::RepeatingEventStream(std::shared_ptr<Core> core,
                                           std::function<void()> onTermination)
    : core_(std::move(core)), onTermination_(std::move(onTermination)) {}

RepeatingEventStream& RepeatingEventStream::operator=(RepeatingEventStream&& other) noexcept {
    if (this != &other) {
        cancel();
        core_ = std::move(other.core_);
        onTermination_ = std::exchange(other.onTermination_, {});
    }
    return *this;
}

RepeatingEventStream::~RepeatingEventStream() { cancel(); }

void RepeatingEventStream::cancel() {
    if (core_) core_->close();
    if (auto terminate = std::exchange(onTermination_, {})) terminate();
}

bool RepeatingEventStream::receive(std::stop_token stop) {
    if (!core_) return false;
    std::unique_lock lock(core_->mutex);
    core_->condition.wait(lock, stop, [&] { return core_->pending || core_->closed; });
    return std::exchange(core_->pending, false);
}

bool RepeatingEventStream::receiveFor(double seconds, std::stop_token stop) {
    if (!core_) return false;
    std::unique_lock lock(core_->mutex);
    core_->condition.wait_for(lock, stop, std::chrono::duration<double>(seconds),
                              [&] { return core_->pending || core_->closed; });
    return std::exchange(core_->pending, false);
}

bool RepeatingEventStream::tryReceive() {
    if (!core_) return false;
    std::lock_guard lock(core_->mutex);
    return std::exchange(core_->pending, false);
}

}  // namespace GlobalKeyBindings
