#pragma once

#include <memory>
#include <optional>
#include <type_traits>
#include <utility>

#include <nlohmann/json.hpp>

#include "ZezeziCore/UnfairLock.hpp"

namespace ZezeziCore {

// A value read and written only under its lock. A copy takes a copy of the
// value and shares the lock object. Encodes and decodes as the bare value.
template <class Value>
class PropertyLock {
public:
    PropertyLock() : lock_(std::make_shared<UnfairLock>()) {}
    PropertyLock(Value wrappedValue) : lock_(std::make_shared<UnfairLock>()), value_(std::move(wrappedValue)) {}
    PropertyLock(const PropertyLock& other) : lock_(other.lock_), value_(other.wrappedValue()) {}
    PropertyLock& operator=(const PropertyLock& other) {
        if (this != &other) setWrappedValue(other.wrappedValue());
        return *this;
    }

    Value wrappedValue() const {
        return lock_->withLock([&] { return value_; });
    }
    void setWrappedValue(Value v) {
        lock_->withLock([&] { value_ = std::move(v); });
    }

    // Reads a copy under the lock, lets the caller change it without the
    // lock, writes it back under the lock (also when the caller throws).
    // Two steps: concurrent changes of one value must use modify().
    template <class F>
    void changeInPlace(F&& change) {
        Value copy = wrappedValue();
        struct WriteBack {
            PropertyLock* self;
            Value* copy;
            ~WriteBack() { self->setWrappedValue(std::move(*copy)); }
        } writeBack{this, &copy};
        std::forward<F>(change)(copy);
    }

    // The whole change under the lock: no concurrent update is lost.
    template <class F>
    decltype(auto) modify(F&& change) {
        return lock_->withLock([&]() -> decltype(auto) { return std::forward<F>(change)(value_); });
    }

    friend void to_json(nlohmann::json& j, const PropertyLock& p) {
        p.lock_->withLock([&] { encodeValue(j, p.value_); });
    }
    friend void from_json(const nlohmann::json& j, PropertyLock& p) { p.setWrappedValue(decodeValue(j)); }

private:
    template <class T>
    struct IsOptional : std::false_type {};
    template <class T>
    struct IsOptional<std::optional<T>> : std::true_type {};

    static void encodeValue(nlohmann::json& j, const Value& v) {
        if constexpr (IsOptional<Value>::value) {
            if (v) {
                j = *v;
            } else {
                j = nullptr;
            }
        } else {
            j = v;
        }
    }
    static Value decodeValue(const nlohmann::json& j) {
        if constexpr (IsOptional<Value>::value) {
            if (j.is_null()) return std::nullopt;
            return j.get<typename Value::value_type>();
        } else {
            return j.get<Value>();
        }
    }

    std::shared_ptr<UnfairLock> lock_;
    Value value_{};
};

}  // namespace ZezeziCore
