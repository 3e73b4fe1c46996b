#pragma once

#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace platform {

namespace detail {

struct SlotState {
    std::atomic<bool> connected{true};
};

struct SignalCoreBase {
    virtual ~SignalCoreBase() = default;
    virtual void prune() = 0;
};

}  // namespace detail

// Ties a slot to a signal. Disconnects on destruction or disconnect();
// release() lets the slot live as long as the signal instead.
class Connection {
public:
    Connection() = default;
    Connection(std::weak_ptr<detail::SlotState> slot, std::weak_ptr<detail::SignalCoreBase> core)
        : slot_(std::move(slot)), core_(std::move(core)) {}
    Connection(Connection&& other) noexcept = default;
    Connection& operator=(Connection&& other) noexcept {
        if (this != &other) {
            disconnect();
            slot_ = std::move(other.slot_);
            core_ = std::move(other.core_);
        }
        return *this;
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    ~Connection() { disconnect(); }

    void disconnect() {
        if (auto slot = slot_.lock()) slot->connected = false;
        if (auto core = core_.lock()) core->prune();
        slot_.reset();
        core_.reset();
    }

    bool isConnected() const {
        auto slot = slot_.lock();
        return slot && slot->connected && !core_.expired();
    }

    void release() {
        slot_.reset();
        core_.reset();
    }

private:
    std::weak_ptr<detail::SlotState> slot_;
    std::weak_ptr<detail::SignalCoreBase> core_;
};

// Calls every connected slot, in connection order, on the emitting thread.
// A slot may connect or disconnect slots (itself too) while it runs: a slot
// disconnected during an emission is not called by it afterwards, and one
// connected during it is called from the next emission on. A disconnect
// made on another thread does not wait for a call already running there:
// a slot that may outlive its owner captures a weak_ptr to it.
template <class... Args>
class Signal {
public:
    using Slot = std::function<void(Args...)>;

    Signal() : core_(std::make_shared<Core>()) {}
    Signal(const Signal&) = delete;
    Signal& operator=(const Signal&) = delete;

    [[nodiscard]] Connection connect(Slot slot) {
        auto entry = std::make_shared<Entry>();
        entry->slot = std::move(slot);
        {
            std::lock_guard lock(core_->mutex);
            core_->entries.push_back(entry);
        }
        return Connection(std::shared_ptr<detail::SlotState>(entry, &entry->state), core_);
    }

    void emit(Args... args) const {
        std::vector<std::shared_ptr<Entry>> entries;
        {
            std::lock_guard lock(core_->mutex);
            entries = core_->entries;
        }
        for (const auto& entry : entries)
            if (entry->state.connected) entry->slot(args...);
    }
    void operator()(Args... args) const { emit(std::forward<Args>(args)...); }

    void disconnectAll() {
        std::lock_guard lock(core_->mutex);
        for (auto& entry : core_->entries) entry->state.connected = false;
        core_->entries.clear();
    }

    size_t slotCount() const {
        std::lock_guard lock(core_->mutex);
        return static_cast<size_t>(std::count_if(
            core_->entries.begin(), core_->entries.end(),
            [](const auto& entry) { return entry->state.connected.load(); }));
    }

private:
    struct Entry {
        detail::SlotState state;
        Slot slot;
    };

    struct Core : detail::SignalCoreBase {
        mutable std::mutex mutex;
        std::vector<std::shared_ptr<Entry>> entries;
        void prune() override {
            std::lock_guard lock(mutex);
            std::erase_if(entries, [](const auto& entry) { return !entry->state.connected; });
        }
    };

    std::shared_ptr<Core> core_;
};

}  // namespace platform
