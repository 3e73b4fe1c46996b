#pragma once

#include <memory>

#include <nlohmann/json.hpp>

#include "platform/foundation/fake/InMemoryUserDefaults.hpp"

namespace parlox::testing {

// Puts an in-memory store in place of the standard user defaults for one
// test, and the old one back afterwards.
class StandardDefaults {
public:
    explicit StandardDefaults(nlohmann::json values = nlohmann::json::object())
        : store_(std::make_shared<platform::InMemoryUserDefaults>(std::move(values))),
          old_(platform::UserDefaults::setStandard(store_)) {}
    ~StandardDefaults() { platform::UserDefaults::setStandard(old_); }
    StandardDefaults(const StandardDefaults&) = delete;
    StandardDefaults& operator=(const StandardDefaults&) = delete;

    platform::InMemoryUserDefaults& operator*() { return *store_; }
    platform::InMemoryUserDefaults* operator->() { return store_.get(); }
    const std::shared_ptr<platform::InMemoryUserDefaults>& shared() const { return store_; }
    // Everything stored.
    nlohmann::json all() const { return store_->dictionaryRepresentation(); }

private:
    std::shared_ptr<platform::InMemoryUserDefaults> store_;
    std::shared_ptr<platform::UserDefaults> old_;
};

}  // namespace parlox::testing
