#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace platform {

namespace detail {
class DefaultsObservers;
}

// The user's settings: one flat store of JSON values keyed by name.
// Absent, false and a string stay three different things: `object` tells
// them apart, the typed readers give a fallback for whatever they cannot
// read. Registered defaults answer for absent keys but are never stored.
// Thread-safe. Observers are called synchronously on the writing thread,
// after the change, with no lock held; a write that leaves the value as it
// was announces nothing.
class UserDefaults {
public:
    using Json = nlohmann::json;
    using Observer = std::function<void(const std::string& key)>;

    // Keeps an observer registered; unregisters on destruction or cancel().
    class Observation {
    public:
        Observation() = default;
        Observation(Observation&& other) noexcept;
        Observation& operator=(Observation&& other) noexcept;
        Observation(const Observation&) = delete;
        Observation& operator=(const Observation&) = delete;
        ~Observation();

        void cancel();
        bool isActive() const;

    private:
        friend class UserDefaults;
        Observation(std::weak_ptr<detail::DefaultsObservers> observers, uint64_t id);
        std::weak_ptr<detail::DefaultsObservers> observers_;
        uint64_t id_ = 0;
    };

    UserDefaults();
    virtual ~UserDefaults();
    UserDefaults(const UserDefaults&) = delete;
    UserDefaults& operator=(const UserDefaults&) = delete;

    // The stored value, else the registered default, else nullopt.
    std::optional<Json> object(std::string_view key) const;

    // JSON true/false; a number is true when not zero; the strings
    // "true"/"yes"/"1" and "false"/"no"/"0" (any case). Anything else, or
    // no value, gives `fallback`.
    bool boolean(std::string_view key, bool fallback = false) const;
    // Only a JSON boolean; nullopt for absent or another type.
    std::optional<bool> optionalBool(std::string_view key) const;

    // A number (fractions truncated toward zero), a boolean as 0/1, or a
    // string holding a number; else `fallback`.
    int64_t integer(std::string_view key, int64_t fallback = 0) const;
    // A number, a boolean as 0/1, or a string holding a number; else `fallback`.
    double doubleValue(std::string_view key, double fallback = 0) const;
    // Only a JSON number.
    std::optional<double> optionalDouble(std::string_view key) const;

    // A string, or a number in its text form; nullopt otherwise.
    std::optional<std::string> string(std::string_view key) const;
    // Only a JSON object / array.
    std::optional<Json> dictionary(std::string_view key) const;
    std::optional<Json> array(std::string_view key) const;

    // Stored values over registered defaults, as one JSON object.
    Json dictionaryRepresentation() const;

    // Stores `value`; a JSON null removes the key.
    void set(std::string_view key, const Json& value);
    void remove(std::string_view key);

    // Answers for absent keys from now on (merged with earlier
    // registrations); nothing is stored and nothing is announced.
    void registerDefaults(const Json& defaults);

    [[nodiscard]] Observation observe(std::string key, Observer observer);
    [[nodiscard]] Observation observeAll(Observer observer);

    // The process-wide store the app uses: a JSON file at
    // Paths::defaultsFile() made on first use, unless replaced.
    static UserDefaults& standard();
    static std::shared_ptr<UserDefaults> standardShared();
    // Replaces the standard store (tests, or the app choosing a file);
    // an old one stays alive for anyone still holding it. Returns the old one.
    static std::shared_ptr<UserDefaults> setStandard(std::shared_ptr<UserDefaults> defaults);

protected:
    // Backends store values; the base class adds registered defaults,
    // typed reads and notifications.
    virtual std::optional<Json> storedValue(std::string_view key) const = 0;
    virtual Json storedValues() const = 0;  // a JSON object
    // Both return the value stored before the call.
    virtual std::optional<Json> storeValue(std::string_view key, const Json& value) = 0;
    virtual std::optional<Json> eraseValue(std::string_view key) = 0;

    // For backends that notice outside changes (e.g. a hand-edited file).
    void announce(const std::string& key);
    std::optional<Json> registeredValue(std::string_view key) const;

private:
    void announceIfChanged(std::string_view key, const std::optional<Json>& before,
                           const std::optional<Json>& after);

    mutable std::mutex registeredMutex_;
    Json registered_ = Json::object();
    std::shared_ptr<detail::DefaultsObservers> observers_;
};

}  // namespace platform
