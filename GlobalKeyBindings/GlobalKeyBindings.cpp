#include "GlobalKeyBindings/GlobalKeyBindings.hpp"

#include <atomic>
#include <map>
#include <set>
#include <utility>
#include <stdexcept>
#include <unordered_map>

#include "platform/concurrency/MainQueue.hpp"

namespace GlobalKeyBindings {

using platform::input::RegistrationResult;

namespace {

using ActionMap = std::map<std::uint64_t, Action>;

struct State {
    Environment environment;
    std::shared_ptr<HotKeyCenter> center;
    // Declared after the center so the hot keys go first.
    std::unordered_map<Shortcut, std::shared_ptr<HotKey>> hotKeys;
    std::unordered_set<std::string> disabledNames;
    std::map<std::string, std::vector<Action>> keyDownHandlers;
    std::map<std::string, std::vector<Action>> keyUpHandlers;
    std::map<std::string, ActionMap> streamKeyDownHandlers;
    std::map<std::string, ActionMap> streamKeyUpHandlers;
    std::unordered_map<Shortcut, ActionMap> streamShortcutKeyDownHandlers;
    std::unordered_map<Shortcut, ActionMap> streamShortcutKeyUpHandlers;
    bool isEnabled = true;
    bool isPaused = false;
    std::uint64_t lastStreamId = 0;
};

std::shared_ptr<State>& slot() {
    static std::shared_ptr<State> state;
    return state;
}

State& state() {
    platform::MainQueue::assertMainThread("GlobalKeyBindings");
    auto& s = slot();
    if (!s) throw std::logic_error("GlobalKeyBindings is used before install()");
    return *s;
}

platform::UserDefaults& defaults() { return *state().environment.defaults; }

std::string keyFor(const std::string& rawValue) {
    return std::string(userDefaultsPrefix) + rawValue;
}

StoredShortcut storedFor(const std::string& rawValue) {
    const auto value = defaults().object(keyFor(rawValue));
    if (!value) return {StoredShortcut::Kind::missing, std::nullopt};
    if (value->is_boolean() && !value->get<bool>()) return {StoredShortcut::Kind::disabled, std::nullopt};
    if (value->is_string())
        if (auto shortcut = decodeShortcut(value->get<std::string>()))
            return {StoredShortcut::Kind::shortcut, shortcut};
    return {StoredShortcut::Kind::missing, std::nullopt};
}

template <class Map>
bool hasEntry(const Map& map, const std::string& rawValue) {
    auto it = map.find(rawValue);
    return it != map.end() && !it->second.empty();
}

bool hasAnyEntry(const State& s, const std::string& rawValue) {
    return hasEntry(s.keyDownHandlers, rawValue) || hasEntry(s.keyUpHandlers, rawValue) ||
           hasEntry(s.streamKeyDownHandlers, rawValue) || hasEntry(s.streamKeyUpHandlers, rawValue);
}

bool hasActiveHandlers(const State& s, const std::string& rawValue) {
    return !s.disabledNames.count(rawValue) && hasAnyEntry(s, rawValue);
}

bool hasHardCodedStreamHandlers(const State& s, const Shortcut& shortcut) {
    const auto nonEmpty = [&](const auto& map) {
        auto it = map.find(shortcut);
        return it != map.end() && !it->second.empty();
    };
    return nonEmpty(s.streamShortcutKeyDownHandlers) || nonEmpty(s.streamShortcutKeyUpHandlers);
}

std::set<std::string> namesWithAllHandlers(const State& s) {
    std::set<std::string> names;
    for (const auto& [name, list] : s.keyDownHandlers) names.insert(name);
    for (const auto& [name, list] : s.keyUpHandlers) names.insert(name);
    for (const auto& [name, map] : s.streamKeyDownHandlers) names.insert(name);
    for (const auto& [name, map] : s.streamKeyUpHandlers) names.insert(name);
    return names;
}

bool isActive(const State& s, const Shortcut& shortcut, const std::string* excluding) {
    for (const auto& name : namesWithAllHandlers(s)) {
        if (excluding && name == *excluding) continue;
        if (!hasActiveHandlers(s, name)) continue;
        if (storedFor(name).shortcut == shortcut) return true;
    }
    return hasHardCodedStreamHandlers(s, shortcut);
}

// Removes the hot key of the name's stored shortcut unless another user needs it.
void dropHotKeyOf(State& s, const std::string& rawValue, const std::string* excluding) {
    const auto stored = storedFor(rawValue);
    if (stored.shortcut && !isActive(s, *stored.shortcut, excluding)) s.hotKeys.erase(*stored.shortcut);
}

void handleKeyEvent(const std::weak_ptr<State>& weak, EventType type, const Shortcut& shortcut) {
    auto s = weak.lock();
    if (!s || s->isPaused) return;
    const bool down = type == EventType::keyDown;
    // Actions are collected first: they may add or remove handlers.
    std::vector<Action> actions;
    for (const auto& [name, list] : down ? s->keyDownHandlers : s->keyUpHandlers)
        if (!s->disabledNames.count(name) && storedFor(name).shortcut == shortcut)
            actions.insert(actions.end(), list.begin(), list.end());
    for (const auto& [name, map] : down ? s->streamKeyDownHandlers : s->streamKeyUpHandlers)
        if (!s->disabledNames.count(name) && storedFor(name).shortcut == shortcut)
            for (const auto& [id, action] : map) actions.push_back(action);
    const auto& byShortcut = down ? s->streamShortcutKeyDownHandlers : s->streamShortcutKeyUpHandlers;
    if (auto it = byShortcut.find(shortcut); it != byShortcut.end())
        for (const auto& [id, action] : it->second) actions.push_back(action);
    for (const auto& action : actions)
        if (action) action();
}

void announceChange(const Name& name) { shortcutByNameDidChange().emit(name); }

void applyCenterEnabled(State& s) {
    const bool enabled = s.isEnabled && !s.isPaused;
    if (enabled == s.center->isEnabled()) return;
    s.center->setEnabled(enabled);
    s.center->updateMode();
}

// Drops one stream's actions, and the key's inner map once it is empty.
template <class Map, class Key>
void eraseStreamEntry(Map& downs, Map& ups, const Key& key, std::uint64_t id) {
    for (auto* map : {&downs, &ups}) {
        auto it = map->find(key);
        if (it == map->end()) continue;
        it->second.erase(id);
        if (it->second.empty()) map->erase(it);
    }
}

// The stream's entries go on the main thread, shortly after it ends.
std::function<void()> nameStreamTermination(const std::weak_ptr<State>& weak, std::string rawValue,
                                            std::uint64_t id) {
    return [weak, rawValue = std::move(rawValue), id] {
        platform::MainQueue::post([weak, rawValue, id] {
            auto s = weak.lock();
            if (!s) return;
            eraseStreamEntry(s->streamKeyDownHandlers, s->streamKeyUpHandlers, rawValue, id);
            dropHotKeyOf(*s, rawValue, nullptr);
        });
    };
}

std::function<void()> shortcutStreamTermination(const std::weak_ptr<State>& weak,
                                                const Shortcut& shortcut, std::uint64_t id) {
    return [weak, shortcut, id] {
        platform::MainQueue::post([weak, shortcut, id] {
            auto s = weak.lock();
            if (!s) return;
            eraseStreamEntry(s->streamShortcutKeyDownHandlers, s->streamShortcutKeyUpHandlers, shortcut, id);
            if (!isActive(*s, shortcut, nullptr)) s->hotKeys.erase(shortcut);
        });
    };
}

std::uint64_t addNameStream(State& s, const std::string& rawValue, Action down, Action up) {
    const auto id = ++s.lastStreamId;
    s.streamKeyDownHandlers[rawValue][id] = std::move(down);
    s.streamKeyUpHandlers[rawValue][id] = std::move(up);
    return id;
}

std::uint64_t addShortcutStream(State& s, const Shortcut& shortcut, Action down, Action up) {
    const auto id = ++s.lastStreamId;
    s.streamShortcutKeyDownHandlers[shortcut][id] = std::move(down);
    s.streamShortcutKeyUpHandlers[shortcut][id] = std::move(up);
    return id;
}

std::pair<Action, Action> channelActions(const std::shared_ptr<platform::Channel<EventType>>& channel,
                                         std::optional<EventType> only) {
    Action down, up;
    if (!only || *only == EventType::keyDown) down = [channel] { channel->send(EventType::keyDown); };
    if (!only || *only == EventType::keyUp) up = [channel] { channel->send(EventType::keyUp); };
    return {down, up};
}

EventStream openStream(const Name& name, std::optional<EventType> only) {
    auto& s = state();
    auto channel = std::make_shared<platform::Channel<EventType>>();
    auto [down, up] = channelActions(channel, only);
    const auto id = addNameStream(s, name.rawValue, std::move(down), std::move(up));
    registerIfNeeded(name);
    return EventStream(channel, nameStreamTermination(slot(), name.rawValue, id));
}

EventStream openStream(const Shortcut& shortcut, std::optional<EventType> only) {
    auto& s = state();
    auto channel = std::make_shared<platform::Channel<EventType>>();
    auto [down, up] = channelActions(channel, only);
    const auto id = addShortcutStream(s, shortcut, std::move(down), std::move(up));
    registerIfNeeded(shortcut);
    return EventStream(channel, shortcutStreamTermination(slot(), shortcut, id));
}

// Turns key presses into ticks: one at once, more after the delay while the
// continue test holds. Runs on the main thread.
struct Repeater : std::enable_shared_from_this<Repeater> {
    std::shared_ptr<RepeatingEventStream::Core> core;
    platform::input::KeyRepeat timing;
    std::function<bool()> shouldContinue;
    std::function<void()> keyDownStep;
    platform::CancelHandle timer;
    bool finished = false;

    void stopTimer() {
        if (timer) timer.cancel();
        timer = {};
    }
    void keyDown() {
        if (finished) return;
        if (keyDownStep) keyDownStep();
        core->yield();
        stopTimer();
        schedule(timing.delay);
    }
    void keyUp() { stopTimer(); }
    void finish() {
        finished = true;
        stopTimer();
        core->close();
    }
    void schedule(double after) {
        std::weak_ptr<Repeater> weak = weak_from_this();
        timer = platform::MainQueue::postAfter(after, [weak] {
            if (auto r = weak.lock()) r->tick();
        });
    }
    void tick() {
        if (finished || !shouldContinue()) return;
        core->yield();
        schedule(timing.interval);
    }
};

std::shared_ptr<Repeater> makeRepeater(State& s) {
    auto repeater = std::make_shared<Repeater>();
    repeater->core = std::make_shared<RepeatingEventStream::Core>();
    repeater->timing = s.environment.hotKeyService->keyRepeat();
    return repeater;
}

std::function<void()> repeaterTermination(std::function<void()> removeEntries,
                                          const std::shared_ptr<Repeater>& repeater) {
    std::weak_ptr<Repeater> weak = repeater;
    auto core = repeater->core;
    return [removeEntries = std::move(removeEntries), weak, core] {
        core->close();
        platform::MainQueue::post([weak] {
            if (auto r = weak.lock()) r->finish();
        });
        removeEntries();
    };
}

}  // namespace

// ---- Set-up ----

void install(Environment environment) {
    if (!environment.hotKeyService) throw std::invalid_argument("a hot-key service is required");
    uninstall();
    auto s = std::make_shared<State>();
    if (!environment.defaults) environment.defaults = platform::UserDefaults::standardShared();
    if (!environment.systemShortcuts)
        environment.systemShortcuts = std::make_shared<platform::input::NoSystemShortcuts>();
    s->environment = std::move(environment);
    s->center = HotKeyCenter::make(s->environment.hotKeyService, s->environment.systemShortcuts);
    slot() = std::move(s);
}

void uninstall() {
    auto old = std::exchange(slot(), nullptr);
    if (old) old->hotKeys.clear();
}

bool isInstalled() { return static_cast<bool>(slot()); }

HotKeyCenter& hotKeyCenter() { return *state().center; }

namespace detail {
const platform::input::KeyLayout* currentKeyLayout() {
    return slot() ? slot()->environment.keyLayout.get() : nullptr;
}
const platform::input::SystemShortcuts* currentSystemShortcuts() {
    return slot() ? slot()->environment.systemShortcuts.get() : nullptr;
}
}  // namespace detail

// ---- Names and storage ----

std::optional<Shortcut> Name::shortcut() const { return getShortcut(*this); }
void Name::setShortcut(const std::optional<Shortcut>& shortcut) const {
    GlobalKeyBindings::setShortcut(shortcut, *this);
}

std::string userDefaultsKey(const Name& name) { return keyFor(name.rawValue); }

void declare(const Name& name) {
    if (!name.initialShortcut) return;
    const auto key = userDefaultsKey(name);
    if (defaults().object(key)) return;
    defaults().set(key, encodeShortcut(*name.initialShortcut));
}

StoredShortcut storedShortcut(const Name& name) { return storedFor(name.rawValue); }

std::optional<Shortcut> getShortcut(const Name& name) { return storedFor(name.rawValue).shortcut; }

void setShortcut(const std::optional<Shortcut>& shortcut, const Name& name) {
    if (shortcut)
        userDefaultsSet(name, *shortcut);
    else if (name.initialShortcut)
        userDefaultsDisable(name);
    else
        userDefaultsRemove(name);
}

void userDefaultsSet(const Name& name, const Shortcut& shortcut) {
    auto& s = state();
    const std::string text = encodeShortcut(shortcut);
    dropHotKeyOf(s, name.rawValue, &name.rawValue);
    defaults().set(userDefaultsKey(name), text);
    registerIfNeeded(name);
    announceChange(name);
}

void userDefaultsDisable(const Name& name) {
    auto& s = state();
    const auto value = defaults().object(userDefaultsKey(name));
    if (value && value->is_boolean() && !value->get<bool>()) return;
    dropHotKeyOf(s, name.rawValue, &name.rawValue);
    defaults().set(userDefaultsKey(name), false);
    registerIfNeeded(name);
    announceChange(name);
}

void userDefaultsRemove(const Name& name) {
    auto& s = state();
    if (!defaults().object(userDefaultsKey(name))) return;
    dropHotKeyOf(s, name.rawValue, &name.rawValue);
    defaults().remove(userDefaultsKey(name));
    registerIfNeeded(name);
    announceChange(name);
}

void reset(const std::vector<Name>& names) {
    for (const auto& name : names) setShortcut(name.initialShortcut, name);
}
void reset(std::initializer_list<Name> names) { reset(std::vector<Name>(names)); }
void reset(const Name& name) { reset(std::vector<Name>{name}); }

std::unordered_set<Name> storedNames() {
    std::unordered_set<Name> names;
    const auto all = defaults().dictionaryRepresentation();
    for (const auto& [key, value] : all.items())
        if (key.compare(0, userDefaultsPrefix.size(), userDefaultsPrefix) == 0)
            names.insert(Name::fromRawValue(key.substr(userDefaultsPrefix.size())));
    return names;
}

void resetAll() {
    for (const auto& name : storedNames()) setShortcut(std::nullopt, name);
}

platform::Signal<const Name&>& shortcutByNameDidChange() {
    static platform::Signal<const Name&> signal;
    return signal;
}

platform::Signal<const Shortcut&, const RegistrationResult&>& registrationDidFail() {
    static platform::Signal<const Shortcut&, const RegistrationResult&> signal;
    return signal;
}

// ---- Registration ----

RegistrationResult registerIfNeeded(const Shortcut& shortcut) {
    auto& s = state();
    if (s.hotKeys.count(shortcut)) return {};
    std::weak_ptr<State> weak = slot();
    auto hotKey = std::make_shared<HotKey>(
        shortcut.carbonKeyCode, shortcut.carbonModifiers, s.center->nextHotKeyId(),
        [weak, shortcut] { handleKeyEvent(weak, EventType::keyDown, shortcut); },
        [weak, shortcut] { handleKeyEvent(weak, EventType::keyUp, shortcut); });
    auto result = s.center->registerHotKey(hotKey);
    if (!result.ok()) {
        registrationDidFail().emit(shortcut, result);
        return result;
    }
    std::weak_ptr<HotKey> weakHotKey = hotKey;
    hotKey->onRegistrationFailed = [weak, weakHotKey, shortcut] {
        auto st = weak.lock();
        auto hk = weakHotKey.lock();
        if (!st || !hk) return;
        auto it = st->hotKeys.find(shortcut);
        if (it == st->hotKeys.end() || it->second != hk) return;
        st->hotKeys.erase(it);
        registrationDidFail().emit(
            shortcut, {platform::input::RegistrationStatus::takenByAnotherClient,
                       "no se pudo volver a registrar"});
    };
    s.hotKeys[shortcut] = std::move(hotKey);
    return result;
}

void registerIfNeeded(const Name& name) {
    auto& s = state();
    if (!hasActiveHandlers(s, name.rawValue)) return;
    if (auto shortcut = storedFor(name.rawValue).shortcut) registerIfNeeded(*shortcut);
}

bool isShortcutActive(const Shortcut& shortcut, const std::optional<Name>& excluding) {
    return isActive(state(), shortcut, excluding ? &excluding->rawValue : nullptr);
}

bool hasHotKey(const Shortcut& shortcut) { return state().hotKeys.count(shortcut) > 0; }

// ---- Handlers ----

void onKeyDown(const Name& name, Action action) {
    state().keyDownHandlers[name.rawValue].push_back(std::move(action));
    registerIfNeeded(name);
}

void onKeyUp(const Name& name, Action action) {
    state().keyUpHandlers[name.rawValue].push_back(std::move(action));
    registerIfNeeded(name);
}

void removeHandler(const Name& name) {
    auto& s = state();
    s.keyDownHandlers.erase(name.rawValue);
    s.keyUpHandlers.erase(name.rawValue);
    if (!s.disabledNames.count(name.rawValue) &&
        (hasEntry(s.streamKeyDownHandlers, name.rawValue) ||
         hasEntry(s.streamKeyUpHandlers, name.rawValue)))
        return;
    dropHotKeyOf(s, name.rawValue, &name.rawValue);
}

void removeAllHandlers() {
    auto& s = state();
    std::unordered_set<Shortcut> shortcuts;
    for (const auto* map : {&s.keyDownHandlers, &s.keyUpHandlers})
        for (const auto& [name, list] : *map)
            if (auto shortcut = storedFor(name).shortcut) shortcuts.insert(*shortcut);
    s.keyDownHandlers.clear();
    s.keyUpHandlers.clear();
    for (const auto& shortcut : shortcuts)
        if (!isActive(s, shortcut, nullptr)) s.hotKeys.erase(shortcut);
}

void disable(const std::vector<Name>& names) {
    auto& s = state();
    for (const auto& name : names) {
        s.disabledNames.insert(name.rawValue);
        dropHotKeyOf(s, name.rawValue, &name.rawValue);
    }
}
void disable(std::initializer_list<Name> names) { disable(std::vector<Name>(names)); }
void disable(const Name& name) { disable(std::vector<Name>{name}); }

void enable(const std::vector<Name>& names) {
    auto& s = state();
    for (const auto& name : names) {
        s.disabledNames.erase(name.rawValue);
        registerIfNeeded(name);
    }
}
void enable(std::initializer_list<Name> names) { enable(std::vector<Name>(names)); }
void enable(const Name& name) { enable(std::vector<Name>{name}); }

bool isEnabled(const Name& name) {
    auto& s = state();
    if (!s.isEnabled || !hasActiveHandlers(s, name.rawValue)) return false;
    auto shortcut = storedFor(name.rawValue).shortcut;
    return shortcut && s.hotKeys.count(*shortcut);
}

bool isEnabled() { return state().isEnabled; }

void setEnabled(bool enabled) {
    auto& s = state();
    if (s.isEnabled == enabled) return;
    s.isEnabled = enabled;
    applyCenterEnabled(s);
}

bool isPaused() { return state().isPaused; }

void setPaused(bool paused) {
    auto& s = state();
    if (s.isPaused == paused) return;
    s.isPaused = paused;
    applyCenterEnabled(s);
}

// ---- Streams ----

EventStream events(const Name& name) { return openStream(name, std::nullopt); }
EventStream events(const Shortcut& shortcut) { return openStream(shortcut, std::nullopt); }
EventStream events(EventType type, const Name& name) { return openStream(name, type); }
EventStream events(EventType type, const Shortcut& shortcut) { return openStream(shortcut, type); }

RepeatingEventStream repeatingKeyDownEvents(const Name& name) {
    auto& s = state();
    auto repeater = makeRepeater(s);
    std::weak_ptr<State> weak = slot();
    const std::string rawValue = name.rawValue;
    auto held = std::make_shared<std::optional<Shortcut>>();
    repeater->keyDownStep = [rawValue, held] { *held = storedFor(rawValue).shortcut; };
    repeater->shouldContinue = [weak, rawValue, held] {
        auto st = weak.lock();
        if (!st || st->isPaused || !st->isEnabled || !hasActiveHandlers(*st, rawValue)) return false;
        auto shortcut = storedFor(rawValue).shortcut;
        return shortcut && st->hotKeys.count(*shortcut) && shortcut == *held;
    };
    const auto id = addNameStream(s, rawValue, [repeater] { repeater->keyDown(); },
                                  [repeater] { repeater->keyUp(); });
    registerIfNeeded(name);
    return RepeatingEventStream(repeater->core,
                                repeaterTermination(nameStreamTermination(weak, rawValue, id), repeater));
}

RepeatingEventStream repeatingKeyDownEvents(const Shortcut& shortcut) {
    auto& s = state();
    auto repeater = makeRepeater(s);
    std::weak_ptr<State> weak = slot();
    repeater->shouldContinue = [weak, shortcut] {
        auto st = weak.lock();
        return st && !st->isPaused && st->isEnabled && st->hotKeys.count(shortcut) > 0;
    };
    const auto id = addShortcutStream(s, shortcut, [repeater] { repeater->keyDown(); },
                                      [repeater] { repeater->keyUp(); });
    registerIfNeeded(shortcut);
    return RepeatingEventStream(
        repeater->core, repeaterTermination(shortcutStreamTermination(weak, shortcut, id), repeater));
}

}  // namespace GlobalKeyBindings
