#include "writing/SessionStore.hpp"

#include "platform/foundation/Trim.hpp"
#include "platform/foundation/Unicode.hpp"

namespace ParloxCore {

std::optional<DictationSession> SessionStore::latest() const {
    if (sessions_.empty()) return std::nullopt;
    return sessions_.front();
}

std::optional<DictationSession> SessionStore::session(const platform::UUID& id) const {
    for (const auto& s : sessions_) {
        if (s.id == id) return s;
    }
    return std::nullopt;
}

platform::UUID SessionStore::begin(DictationSession session) {
    const platform::UUID id = session.id;
    sessions_.insert(sessions_.begin(), std::move(session));
    while (sessions_.size() > capacity) sessions_.pop_back();
    return id;
}

void SessionStore::update(const platform::UUID& id, const std::function<void(DictationSession&)>& change) {
    for (auto& s : sessions_) {
        if (s.id == id) {
            change(s);
            return;
        }
    }
}

std::string SessionStore::normalized(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            out += '\n';
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            out += text[i];
        }
    }
    // Canonically equal spellings (a composed or a decomposed accent) are one text.
    return platform::composedCanonically(platform::trimmingWhitespaceAndNewlines(out));
}

std::optional<SessionStore::Match> SessionStore::match(std::string_view selection, int32_t pid,
                                                       std::optional<int64_t> selectionLocation,
                                                       platform::Date now) const {
    const std::string target = normalized(selection);
    if (target.empty() || sessions_.empty()) return std::nullopt;

    auto isLive = [pid](const DictationSession& s) { return s.pid == pid && !s.isUndone && !s.rounds.empty(); };
    for (const auto& s : sessions_) {
        if (isLive(s) && normalized(s.rounds.back().result) == target) return Match::exact(s.id);
    }
    for (const auto& s : sessions_) {
        if (!isLive(s)) continue;
        if (selectionLocation && s.insertLocation && *s.insertLocation == *selectionLocation &&
            now - s.updatedAt <= editWindow) {
            return Match::edited(s.id);
        }
        return std::nullopt;
    }
    return std::nullopt;
}

}  // namespace ParloxCore
