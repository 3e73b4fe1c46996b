#pragma once

#include <memory>
#include <mutex>
#include <utility>

namespace ZezeziCore {

// A value kept in one shared, locked box: copies of a Protected share it.
template <class Value>
class Protected {
public:
    Protected() : box_(std::make_shared<Box>()) {}
    Protected(Value wrappedValue) : box_(std::make_shared<Box>()) { box_->value = std::move(wrappedValue); }

    Value wrappedValue() const {
        std::lock_guard lock(box_->mutex);
        return box_->value;
    }
    void setWrappedValue(Value v) {
        Value old;
        {
            std::lock_guard lock(box_->mutex);
            old = std::exchange(box_->value, std::move(v));
        }
    }
    // The whole change under the lock.
    template <class F>
    decltype(auto) modify(F&& change) {
        std::lock_guard lock(box_->mutex);
        return std::forward<F>(change)(box_->value);
    }

private:
    struct Box {
        std::mutex mutex;
        Value value{};
    };
    std::shared_ptr<Box> box_;
};

}  // namespace ZezeziCore
