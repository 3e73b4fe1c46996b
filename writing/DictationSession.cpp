#include "writing/DictationSession.hpp"

namespace ParloxCore {

DictationSession::DictationSession(platform::UUID id, platform::Date date, std::optional<std::string> appName,
                                   int32_t pid, std::string original, std::optional<int64_t> insertLocation)
    : id(id),
      startedAt(date),
      appName(std::move(appName)),
      pid(pid),
      original(std::move(original)),
      insertLocation(insertLocation),
      updatedAt(date) {}

std::optional<std::string> DictationSession::current() const {
    if (rounds.empty()) return std::nullopt;
    return rounds.back().result;
}

std::optional<std::string> DictationSession::previous() const {
    if (rounds.size() < 2) return std::nullopt;
    return rounds[rounds.size() - 2].result;
}

void DictationSession::add(std::string instruction, std::string result, platform::Date at) {
    rounds.push_back({std::move(instruction), std::move(result)});
    updatedAt = at;
}

void DictationSession::revertToPrevious(platform::Date at) {
    if (rounds.size() < 2) return;
    rounds.pop_back();
    updatedAt = at;
}

std::optional<Iteration> DictationSession::iteration() const {
    if (rounds.empty()) return std::nullopt;
    std::string instructions;
    for (std::size_t i = 0; i < rounds.size(); ++i) {
        if (i) instructions += " \u2192 ";
        instructions += rounds[i].instruction;
    }
    return Iteration{original, instructions, rounds.back().result};
}

}  // namespace ParloxCore
