#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "GlobalKeyBindings/HotKey.hpp"
#include "platform/input/HotKeyService.hpp"
#include "platform/input/SystemShortcuts.hpp"

namespace GlobalKeyBindings {

// The one registry of system hot keys. It registers hot keys with the
// hot-key service, turns the service's events into the hot keys' callbacks,
// and while one of the application's own menus is open (the desktop then
// delivers no hot-key events) matches the application's raw key events
// against the same keys. It never keeps a hot key alive. Main thread only.
class HotKeyCenter : public std::enable_shared_from_this<HotKeyCenter> {
public:
    enum class Mode { disabled, normal, menuOpen };
    enum class RawKeyKind { keyDown, keyUp };

    static std::shared_ptr<HotKeyCenter> make(
        std::shared_ptr<platform::input::HotKeyService> service,
        std::shared_ptr<platform::input::SystemShortcuts> systemShortcuts);
    ~HotKeyCenter();

    // Ids start at 1.
    std::uint32_t nextHotKeyId() { return ++lastHotKeyId_; }

    // Registers the hot key with the system; a refusal records nothing.
    platform::input::RegistrationResult registerHotKey(const std::shared_ptr<HotKey>& hotKey);

    bool isEnabled() const { return isEnabled_; }
    void setEnabled(bool enabled) { isEnabled_ = enabled; }
    // disabled when not enabled, else menuOpen while a menu is open, else normal.
    void updateMode();
    Mode mode() const { return mode_; }

    // The application's menus report their tracking here.
    void menuDidBeginTracking();
    void menuDidEndTracking();
    bool isMenuOpen() const { return isMenuOpen_; }

    bool isHotKeyEventHandlingEnabled() const { return hotKeyEventHandling_; }
    bool isRawKeyEventHandlingEnabled() const { return rawKeyEventHandling_; }

    // A key event of the application's own (while a menu is open). Repeats
    // never fire. True when a hot key took it.
    bool handleRawKeyEvent(std::int64_t keyCode, std::int64_t carbonModifiers, bool isRepeat,
                           RawKeyKind kind);

    // The desktop's own enabled shortcuts, as (key code, modifiers).
    std::vector<platform::input::SystemShortcut> systemShortcuts() const;

    platform::input::HotKeyService& service() { return *service_; }

private:
    friend class HotKey;

    HotKeyCenter(std::shared_ptr<platform::input::HotKeyService> service,
                 std::shared_ptr<platform::input::SystemShortcuts> systemShortcuts);

    void handleHotKeyEvent(std::uint32_t id, platform::input::HotKeyEventKind kind);
    void applyMode();
    void pauseAllHotKeys();
    void resumeAllHotKeys();
    void forget(HotKey& hotKey);
    std::vector<std::shared_ptr<HotKey>> liveHotKeys() const;

    std::shared_ptr<platform::input::HotKeyService> service_;
    std::shared_ptr<platform::input::SystemShortcuts> systemShortcuts_;
    std::uint32_t lastHotKeyId_ = 0;
    std::map<std::uint32_t, std::weak_ptr<HotKey>> hotKeys_;
    bool isEnabled_ = true;
    bool isMenuOpen_ = false;
    bool hotKeyEventHandling_ = false;
    bool rawKeyEventHandling_ = false;
    Mode mode_ = Mode::normal;
};

}  // namespace GlobalKeyBindings
