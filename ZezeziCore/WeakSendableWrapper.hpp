#pragma once

#include <memory>
#include <mutex>

namespace ZezeziCore {

// A weak reference that may cross threads: reads give the object while it
// lives, null afterwards.
template <class T>
class WeakSendableWrapper {
public:
    explicit WeakSendableWrapper(const std::shared_ptr<T>& value) : value_(value) {}

    std::shared_ptr<T> value() const {
        std::lock_guard lock(mutex_);
        return value_.lock();
    }
    void setValue(const std::shared_ptr<T>& value) {
        std::lock_guard lock(mutex_);
        value_ = value;
    }

private:
    mutable std::mutex mutex_;
    std::weak_ptr<T> value_;
};

}  // namespace ZezeziCore
