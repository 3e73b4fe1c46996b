#include <chrono>
#include <string>
#include <utility>

#include <gtest/gtest.h>

#include "writing/SessionStore.hpp"

using namespace ParloxCore;
using namespace std::chrono_literals;

namespace {

const platform::Date t0{std::chrono::seconds(1'800'000'000)};

DictationSession session(int32_t pid, const std::string& result, std::optional<int64_t> location = std::nullopt) {
    DictationSession s(platform::UUID(), t0, "Correo", pid, "orig", location);
    s.add("hazlo", result, t0);
    return s;
}

}  // namespace

TEST(DictationSession, RoundsAndIteration) {
    DictationSession s(platform::UUID(), t0, std::nullopt, 7, "");
    EXPECT_FALSE(s.current());
    EXPECT_FALSE(s.iteration());
    s.add("uno", "r1", t0 + 1s);
    s.revertToPrevious(t0 + 5s);
    EXPECT_EQ(s.rounds.size(), 1u);
    EXPECT_EQ(s.updatedAt, t0 + 1s);
    s.add("dos", "r2", t0 + 2s);
    EXPECT_EQ(s.current(), "r2");
    EXPECT_EQ(s.previous(), "r1");
    EXPECT_EQ(s.iteration(), (Iteration{"", "uno \u2192 dos", "r2"}));
    s.revertToPrevious(t0 + 3s);
    EXPECT_EQ(s.current(), "r1");
    EXPECT_EQ(s.updatedAt, t0 + 3s);
}

TEST(SessionStore, KeepsTheTenNewest) {
    SessionStore store;
    platform::UUID last;
    for (int i = 0; i < 11; ++i) {
        std::string result = "r";
        result += std::to_string(i);
        last = store.begin(session(1, result));
    }
    EXPECT_EQ(store.sessions().size(), 10u);
    EXPECT_EQ(store.latest()->id, last);
    EXPECT_EQ(store.sessions().back().current(), "r1");
    store.update(last, [](DictationSession& s) { s.isUndone = true; });
    EXPECT_TRUE(store.session(last)->isUndone);
}

TEST(SessionStore, Match) {
    SessionStore store;
    auto older = store.begin(session(1, "Hola\nmundo", 40));
    auto newer = store.begin(session(1, "Hola\nmundo", 40));
    store.begin(session(2, "otro", 40));
    using Match = SessionStore::Match;

    EXPECT_FALSE(store.match("  \n", 1, 40, t0));
    EXPECT_EQ(store.match(" Hola\r\nmundo\n", 1, std::nullopt, t0), Match::exact(newer));
    store.update(newer, [](DictationSession& s) { s.isUndone = true; });
    EXPECT_EQ(store.match("Hola\nmundo", 1, std::nullopt, t0), Match::exact(older));
    EXPECT_EQ(store.match("editado", 1, 40, t0 + 900s), Match::edited(older));
    EXPECT_FALSE(store.match("editado", 1, 40, t0 + 900s + 1ms));
    EXPECT_FALSE(store.match("editado", 1, 41, t0));
    EXPECT_FALSE(store.match("editado", 3, 40, t0));
}

TEST(SessionStore, CanonicallyEqualSpellingsMatch) {
    // A field may hand back composed accents where the result held decomposed
    // ones, or the other way round.
    const std::string composed = "Caf\u00E9 con ac\u00E9nto";
    const std::string decomposed = "Cafe\u0301 con ace\u0301nto";
    const std::pair<std::string, std::string> cases[] = {{composed, decomposed}, {decomposed, composed}};
    for (const auto& [result, selection] : cases) {
        SessionStore store;
        auto id = store.begin(session(1, result));
        EXPECT_EQ(store.match(selection, 1, std::nullopt, t0), SessionStore::Match::exact(id)) << selection;
    }
    SessionStore store;
    store.begin(session(1, composed));
    EXPECT_FALSE(store.match("Cafe con acento", 1, std::nullopt, t0));
}

TEST(SessionStore, EditedPassLooksOnlyAtTheNewestLiveSession) {
    SessionStore store;
    store.begin(session(1, "a", 10));
    store.begin(session(1, "b", 99));
    EXPECT_FALSE(store.match("x", 1, 10, t0));
}
