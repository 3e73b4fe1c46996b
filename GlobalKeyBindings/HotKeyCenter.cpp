#include "GlobalKeyBindings/HotKeyCenter.hpp"

#include "GlobalKeyBindings/Key.hpp"
#include "GlobalKeyBindings/ModifierFlags.hpp"
#include "platform/input/CarbonModifiers.hpp"

namespace GlobalKeyBindings {

using platform::input::HotKeyEventKind;
using platform::input::RegistrationResult;

namespace {

// Known bits only; the function flag is dropped for keys whose events carry it anyway.
std::int64_t normalizedModifiers(std::int64_t keyCode, std::int64_t carbonModifiers) {
    std::int64_t mods = ModifierFlags::fromCarbon(carbonModifiers).carbon();
    if (Key::keysWithSynthesizedFunctionModifier().count(Key(keyCode)))
        mods &= ~static_cast<std::int64_t>(platform::input::carbon::function);
    return mods;
}

// Keyboards here have no function modifier to grab (Fn is resolved in the
// keyboard itself): a shortcut that holds it is grabbed without it.
std::int64_t grabbedModifiers(std::int64_t carbonModifiers) {
    return carbonModifiers & ~static_cast<std::int64_t>(platform::input::carbon::function);
}

// Key codes and modifiers travel to the service as ints; a value that does
// not fit (a hand-edited settings file) must not wrap onto another key.
RegistrationResult registerWithService(platform::input::HotKeyService& service, const HotKey& hotKey) {
    const auto fits = [](std::int64_t v) { return v >= 0 && v <= 0xFFFF; };
    const std::int64_t modifiers = grabbedModifiers(hotKey.carbonModifiers);
    if (!fits(hotKey.carbonKeyCode) || !fits(modifiers))
        return {platform::input::RegistrationStatus::keyNotOnKeyboard,
                "código de tecla o modificadores fuera de rango"};
    return service.registerHotKey(hotKey.id, static_cast<int>(hotKey.carbonKeyCode), static_cast<int>(modifiers));
}

}  // namespace

HotKey::HotKey(std::int64_t keyCode, std::int64_t modifiers, std::uint32_t hotKeyId,
               Callback keyDown, Callback keyUp)
    : carbonKeyCode(keyCode),
      carbonModifiers(modifiers),
      id(hotKeyId),
      onKeyDown(std::move(keyDown)),
      onKeyUp(std::move(keyUp)) {}

HotKey::~HotKey() {
    if (auto center = center_.lock()) center->forget(*this);
}

std::shared_ptr<HotKeyCenter> HotKeyCenter::make(
    std::shared_ptr<platform::input::HotKeyService> service,
    std::shared_ptr<platform::input::SystemShortcuts> systemShortcuts) {
    std::shared_ptr<HotKeyCenter> center(
        new HotKeyCenter(std::move(service), std::move(systemShortcuts)));
    std::weak_ptr<HotKeyCenter> weak = center;
    center->service_->setEventHandler([weak](std::uint32_t id, HotKeyEventKind kind) {
        if (auto c = weak.lock()) c->handleHotKeyEvent(id, kind);
    });
    return center;
}

HotKeyCenter::HotKeyCenter(std::shared_ptr<platform::input::HotKeyService> service,
                           std::shared_ptr<platform::input::SystemShortcuts> systemShortcuts)
    : service_(std::move(service)), systemShortcuts_(std::move(systemShortcuts)) {}

HotKeyCenter::~HotKeyCenter() {
    service_->setEventHandler({});
    for (auto& [id, weak] : hotKeys_)
        if (auto hotKey = weak.lock(); hotKey && hotKey->registered_) {
            service_->unregisterHotKey(id);
            hotKey->registered_ = false;
        }
}

RegistrationResult HotKeyCenter::registerHotKey(const std::shared_ptr<HotKey>& hotKey) {
    auto result = registerWithService(*service_, *hotKey);
    if (!result.ok()) return result;
    hotKey->registered_ = true;
    hotKey->center_ = weak_from_this();
    hotKeys_[hotKey->id] = hotKey;
    applyMode();
    return result;
}

void HotKeyCenter::forget(HotKey& hotKey) {
    if (hotKey.registered_) {
        service_->unregisterHotKey(hotKey.id);
        hotKey.registered_ = false;
    }
    hotKeys_.erase(hotKey.id);
}

void HotKeyCenter::updateMode() {
    const Mode next = !isEnabled_ ? Mode::disabled : isMenuOpen_ ? Mode::menuOpen : Mode::normal;
    const bool changed = next != mode_;
    mode_ = next;
    if (changed) applyMode();
}

void HotKeyCenter::applyMode() {
    if (mode_ == Mode::normal)
        resumeAllHotKeys();
    else
        pauseAllHotKeys();
    hotKeyEventHandling_ = mode_ == Mode::normal;
    rawKeyEventHandling_ = mode_ == Mode::menuOpen;
}

void HotKeyCenter::menuDidBeginTracking() {
    const bool was = isMenuOpen_;
    isMenuOpen_ = true;
    if (!was) updateMode();
}

void HotKeyCenter::menuDidEndTracking() {
    const bool was = isMenuOpen_;
    isMenuOpen_ = false;
    if (was) updateMode();
}

std::vector<std::shared_ptr<HotKey>> HotKeyCenter::liveHotKeys() const {
    std::vector<std::shared_ptr<HotKey>> live;
    for (const auto& [id, weak] : hotKeys_)
        if (auto hotKey = weak.lock()) live.push_back(std::move(hotKey));
    return live;
}

void HotKeyCenter::pauseAllHotKeys() {
    for (const auto& hotKey : liveHotKeys()) {
        if (!hotKey->registered_) continue;
        service_->unregisterHotKey(hotKey->id);
        hotKey->registered_ = false;
    }
}

void HotKeyCenter::resumeAllHotKeys() {
    for (const auto& hotKey : liveHotKeys()) {
        if (hotKey->registered_) continue;
        if (registerWithService(*service_, *hotKey).ok()) {
            hotKey->registered_ = true;
            continue;
        }
        hotKeys_.erase(hotKey->id);
        if (hotKey->onRegistrationFailed) hotKey->onRegistrationFailed();
    }
}

void HotKeyCenter::handleHotKeyEvent(std::uint32_t id, HotKeyEventKind kind) {
    if (!hotKeyEventHandling_) return;
    auto it = hotKeys_.find(id);
    if (it == hotKeys_.end()) return;
    auto hotKey = it->second.lock();
    if (!hotKey) return;
    const auto& callback = kind == HotKeyEventKind::pressed ? hotKey->onKeyDown : hotKey->onKeyUp;
    if (callback) {
        auto run = callback;  // the callback may release the hot key
        run();
    }
}

bool HotKeyCenter::handleRawKeyEvent(std::int64_t keyCode, std::int64_t carbonModifiers,
                                     bool isRepeat, RawKeyKind kind) {
    if (!rawKeyEventHandling_) return false;
    if (kind == RawKeyKind::keyDown && isRepeat) return false;
    const auto mods = normalizedModifiers(keyCode, carbonModifiers);
    for (const auto& hotKey : liveHotKeys()) {
        // A hot key answers to the keys grabbed for it.
        if (hotKey->carbonKeyCode != keyCode ||
            normalizedModifiers(hotKey->carbonKeyCode, grabbedModifiers(hotKey->carbonModifiers)) != mods)
            continue;
        auto run = kind == RawKeyKind::keyDown ? hotKey->onKeyDown : hotKey->onKeyUp;
        if (run) run();
        return true;
    }
    return false;
}

std::vector<platform::input::SystemShortcut> HotKeyCenter::systemShortcuts() const {
    if (!systemShortcuts_) return {};
    return systemShortcuts_->enabledShortcuts();
}

}  // namespace GlobalKeyBindings
