#include "platform/foundation/UserDefaults.hpp"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cmath>
#include <limits>
#include <map>
#include <vector>

#include "platform/foundation/JsonFileUserDefaults.hpp"
#include "platform/foundation/NumberFormat.hpp"

namespace platform {

namespace detail {

class DefaultsObservers {
public:
    struct Entry {
        std::optional<std::string> key;  // nullopt: every key
        UserDefaults::Observer observer;
        std::atomic<bool> alive{true};
    };

    uint64_t add(std::optional<std::string> key, UserDefaults::Observer observer) {
        auto entry = std::make_shared<Entry>();
        entry->key = std::move(key);
        entry->observer = std::move(observer);
        std::lock_guard lock(mutex_);
        uint64_t id = ++lastId_;
        entries_.emplace(id, std::move(entry));
        return id;
    }

    void removeEntry(uint64_t id) {
        std::lock_guard lock(mutex_);
        auto it = entries_.find(id);
        if (it == entries_.end()) return;
        it->second->alive = false;
        entries_.erase(it);
    }

    bool contains(uint64_t id) const {
        std::lock_guard lock(mutex_);
        return entries_.count(id) > 0;
    }

    void notify(const std::string& key) const {
        std::vector<std::shared_ptr<Entry>> targets;
        {
            std::lock_guard lock(mutex_);
            for (const auto& [id, entry] : entries_)
                if (!entry->key || *entry->key == key) targets.push_back(entry);
        }
        // An observer removed by an earlier one during this round is skipped.
        for (const auto& entry : targets)
            if (entry->alive) entry->observer(key);
    }

private:
    mutable std::mutex mutex_;
    uint64_t lastId_ = 0;
    std::map<uint64_t, std::shared_ptr<Entry>> entries_;
};

}  // namespace detail

// Observation

UserDefaults::Observation::Observation(std::weak_ptr<detail::DefaultsObservers> observers, uint64_t id)
    : observers_(std::move(observers)), id_(id) {}

UserDefaults::Observation::Observation(Observation&& other) noexcept
    : observers_(std::move(other.observers_)), id_(std::exchange(other.id_, 0)) {}

UserDefaults::Observation& UserDefaults::Observation::operator=(Observation&& other) noexcept {
    if (this != &other) {
        cancel();
        observers_ = std::move(other.observers_);
        id_ = std::exchange(other.id_, 0);
    }
    return *this;
}

UserDefaults::Observation::~Observation() { cancel(); }

void UserDefaults::Observation::cancel() {
    if (auto observers = observers_.lock(); observers && id_ != 0) observers->removeEntry(id_);
    observers_.reset();
    id_ = 0;
}

bool UserDefaults::Observation::isActive() const {
    auto observers = observers_.lock();
    return observers && id_ != 0 && observers->contains(id_);
}

// UserDefaults

UserDefaults::UserDefaults() : observers_(std::make_shared<detail::DefaultsObservers>()) {}

UserDefaults::~UserDefaults() = default;

std::optional<UserDefaults::Json> UserDefaults::registeredValue(std::string_view key) const {
    std::lock_guard lock(registeredMutex_);
    auto it = registered_.find(key);
    if (it == registered_.end()) return std::nullopt;
    return *it;
}

std::optional<UserDefaults::Json> UserDefaults::object(std::string_view key) const {
    if (auto stored = storedValue(key)) return stored;
    return registeredValue(key);
}

namespace {

std::string lowerAscii(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::optional<double> numberOf(const nlohmann::json& value) {
    if (value.is_boolean()) return value.get<bool>() ? 1.0 : 0.0;
    if (value.is_number()) return value.get<double>();
    if (value.is_string()) return parseDouble(value.get_ref<const std::string&>());
    return std::nullopt;
}

}  // namespace

bool UserDefaults::boolean(std::string_view key, bool fallback) const {
    auto value = object(key);
    if (!value) return fallback;
    if (value->is_boolean()) return value->get<bool>();
    if (value->is_number()) return value->get<double>() != 0;
    if (value->is_string()) {
        const std::string text = lowerAscii(value->get<std::string>());
        if (text == "true" || text == "yes" || text == "1") return true;
        if (text == "false" || text == "no" || text == "0") return false;
    }
    return fallback;
}

std::optional<bool> UserDefaults::optionalBool(std::string_view key) const {
    auto value = object(key);
    if (!value || !value->is_boolean()) return std::nullopt;
    return value->get<bool>();
}

int64_t UserDefaults::integer(std::string_view key, int64_t fallback) const {
    auto value = object(key);
    if (!value) return fallback;
    if (value->is_number_integer()) {
        if (value->is_number_unsigned() &&
            value->get<uint64_t>() > static_cast<uint64_t>(std::numeric_limits<int64_t>::max()))
            return fallback;
        return value->get<int64_t>();
    }
    if (value->is_string()) {
        if (auto whole = parseInteger(value->get_ref<const std::string&>())) return *whole;
    }
    auto number = numberOf(*value);
    // Outside the int64 range (or not a number at all) there is no honest answer.
    if (!number || !std::isfinite(*number) || *number >= 9.2233720368547758e18 ||
        *number < -9.2233720368547758e18)
        return fallback;
    return static_cast<int64_t>(std::trunc(*number));
}

double UserDefaults::doubleValue(std::string_view key, double fallback) const {
    auto value = object(key);
    if (!value) return fallback;
    return numberOf(*value).value_or(fallback);
}

std::optional<double> UserDefaults::optionalDouble(std::string_view key) const {
    auto value = object(key);
    if (!value || !value->is_number()) return std::nullopt;
    return value->get<double>();
}

std::optional<std::string> UserDefaults::string(std::string_view key) const {
    auto value = object(key);
    if (!value) return std::nullopt;
    if (value->is_string()) return value->get<std::string>();
    if (value->is_number_integer()) return value->dump();
    if (value->is_number_float()) return formatShortest(value->get<double>());
    return std::nullopt;
}

std::optional<UserDefaults::Json> UserDefaults::dictionary(std::string_view key) const {
    auto value = object(key);
    if (!value || !value->is_object()) return std::nullopt;
    return value;
}

std::optional<UserDefaults::Json> UserDefaults::array(std::string_view key) const {
    auto value = object(key);
    if (!value || !value->is_array()) return std::nullopt;
    return value;
}

UserDefaults::Json UserDefaults::dictionaryRepresentation() const {
    Json result;
    {
        std::lock_guard lock(registeredMutex_);
        result = registered_;
    }
    Json stored = storedValues();
    if (stored.is_object())
        for (auto& [key, value] : stored.items()) result[key] = value;
    return result;
}

void UserDefaults::set(std::string_view key, const Json& value) {
    if (value.is_null()) {
        remove(key);
        return;
    }
    const auto registered = registeredValue(key);
    auto before = storeValue(key, value);
    announceIfChanged(key, before ? before : registered, value);
}

void UserDefaults::remove(std::string_view key) {
    const auto registered = registeredValue(key);
    auto before = eraseValue(key);
    if (!before) return;
    announceIfChanged(key, before, registered);
}

void UserDefaults::registerDefaults(const Json& defaults) {
    if (!defaults.is_object()) return;
    std::lock_guard lock(registeredMutex_);
    for (auto& [key, value] : defaults.items()) registered_[key] = value;
}

UserDefaults::Observation UserDefaults::observe(std::string key, Observer observer) {
    uint64_t id = observers_->add(std::move(key), std::move(observer));
    return Observation(observers_, id);
}

UserDefaults::Observation UserDefaults::observeAll(Observer observer) {
    uint64_t id = observers_->add(std::nullopt, std::move(observer));
    return Observation(observers_, id);
}

void UserDefaults::announce(const std::string& key) { observers_->notify(key); }

void UserDefaults::announceIfChanged(std::string_view key, const std::optional<Json>& before,
                                     const std::optional<Json>& after) {
    if (before == after) return;
    announce(std::string(key));
}

// The standard store

namespace {

struct StandardStores {
    std::mutex mutex;
    std::shared_ptr<UserDefaults> current;
    // Replaced stores stay alive: callers may still hold references from standard().
    std::vector<std::shared_ptr<UserDefaults>> retired;
};

// Never destroyed: work still running while the process exits may read
// settings through a reference from standard().
StandardStores& standardStores() {
    static StandardStores* stores = new StandardStores();
    return *stores;
}

}  // namespace

std::shared_ptr<UserDefaults> UserDefaults::standardShared() {
    StandardStores& stores = standardStores();
    std::lock_guard lock(stores.mutex);
    if (!stores.current) stores.current = std::make_shared<JsonFileUserDefaults>();
    return stores.current;
}

UserDefaults& UserDefaults::standard() { return *standardShared(); }

std::shared_ptr<UserDefaults> UserDefaults::setStandard(std::shared_ptr<UserDefaults> defaults) {
    StandardStores& stores = standardStores();
    std::lock_guard lock(stores.mutex);
    auto old = std::move(stores.current);
    if (old) stores.retired.push_back(old);
    stores.current = std::move(defaults);
    return old;
}

}  // namespace platform
