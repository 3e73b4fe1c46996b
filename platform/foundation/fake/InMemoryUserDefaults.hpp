#pragma once

#include <mutex>

#include "platform/foundation/UserDefaults.hpp"

namespace platform {

// User defaults held in memory only, for tests.
class InMemoryUserDefaults : public UserDefaults {
public:
    InMemoryUserDefaults() = default;
    explicit InMemoryUserDefaults(Json initial) {
        if (initial.is_object()) values_ = std::move(initial);
    }

    // Replaces a value without announcing it, as an edit from outside would.
    void setSilently(std::string_view key, const Json& value) {
        std::lock_guard lock(mutex_);
        values_[std::string(key)] = value;
    }

protected:
    std::optional<Json> storedValue(std::string_view key) const override {
        std::lock_guard lock(mutex_);
        auto it = values_.find(key);
        if (it == values_.end()) return std::nullopt;
        return *it;
    }
    Json storedValues() const override {
        std::lock_guard lock(mutex_);
        return values_;
    }
    std::optional<Json> storeValue(std::string_view key, const Json& value) override {
        std::lock_guard lock(mutex_);
        std::optional<Json> before;
        auto it = values_.find(key);
        if (it != values_.end()) before = *it;
        values_[std::string(key)] = value;
        return before;
    }
    std::optional<Json> eraseValue(std::string_view key) override {
        std::lock_guard lock(mutex_);
        auto it = values_.find(key);
        if (it == values_.end()) return std::nullopt;
        std::optional<Json> before = *it;
        values_.erase(it);
        return before;
    }

private:
    mutable std::mutex mutex_;
    Json values_ = Json::object();
};

}  // namespace platform
