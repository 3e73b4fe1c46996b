#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "writing/DictationSession.hpp"

namespace ParloxCore {

// The recent dictations of this run, newest first, and whether a selection
// belongs to one of them. Nothing is kept on disk.
class SessionStore {
public:
    static constexpr std::size_t capacity = 10;
    static constexpr std::chrono::seconds editWindow{900};

    struct Match {
        enum class Kind { exact, edited };
        Kind kind;
        platform::UUID id;
        static Match exact(platform::UUID id) { return {Kind::exact, id}; }
        static Match edited(platform::UUID id) { return {Kind::edited, id}; }
        friend bool operator==(const Match&, const Match&) = default;
    };

    const std::vector<DictationSession>& sessions() const { return sessions_; }
    std::optional<DictationSession> latest() const;
    std::optional<DictationSession> session(const platform::UUID& id) const;

    platform::UUID begin(DictationSession session);
    void update(const platform::UUID& id, const std::function<void(DictationSession&)>& change);

    std::optional<Match> match(std::string_view selection, int32_t pid, std::optional<int64_t> selectionLocation,
                               platform::Date now) const;

    // Line ends made "\n", blank ends trimmed and accents composed (NFC), as texts are compared.
    static std::string normalized(std::string_view text);

private:
    std::vector<DictationSession> sessions_;
};

}  // namespace ParloxCore
