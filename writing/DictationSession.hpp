#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/Date.hpp"
#include "platform/foundation/UUID.hpp"
#include "writing/GenerationRequest.hpp"

namespace ParloxCore {

// One dictation written into a field and the rounds of changes made to it.
struct DictationSession {
    struct Round {
        std::string instruction;
        std::string result;
        friend bool operator==(const Round&, const Round&) = default;
    };

    platform::UUID id;
    platform::Date startedAt;
    std::optional<std::string> appName;
    int32_t pid = 0;
    std::string original;
    std::optional<int64_t> insertLocation;
    std::vector<Round> rounds;
    platform::Date updatedAt;
    bool isUndone = false;

    DictationSession(platform::UUID id, platform::Date date, std::optional<std::string> appName, int32_t pid,
                     std::string original, std::optional<int64_t> insertLocation = std::nullopt);

    std::optional<std::string> current() const;
    std::optional<std::string> previous() const;
    void add(std::string instruction, std::string result, platform::Date at);
    void revertToPrevious(platform::Date at);
    // The rounds so far as the previous round of a new request.
    std::optional<Iteration> iteration() const;

    friend bool operator==(const DictationSession&, const DictationSession&) = default;
};

}  // namespace ParloxCore
