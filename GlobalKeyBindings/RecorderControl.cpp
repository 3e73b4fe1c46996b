#include "GlobalKeyBindings/RecorderControl.hpp"

#include <utility>

#include "GlobalKeyBindings/GlobalKeyBindings.hpp"
#include "GlobalKeyBindings/Localization.hpp"

namespace GlobalKeyBindings {
namespace {

const RecorderControl*& activeSlot() {
    static const RecorderControl* active = nullptr;
    return active;
}

// The modifier bits that do not name a physical key position.
constexpr std::uint64_t kDeviceIndependentMask = 0xFFFF0000;

ModifierFlags deviceIndependent(ModifierFlags flags) { return flags & ModifierFlags(kDeviceIndependentMask); }

bool hasNoModifierBut(ModifierFlags flags, ModifierFlags allowed) {
    return deviceIndependent(flags).removing(allowed).isEmpty();
}

}  // namespace

platform::Signal<bool>& recorderActiveStatusDidChange() {
    static platform::Signal<bool> signal;
    return signal;
}

RecorderControl::RecorderControl(Host& host, Name name, OnChange onChange)
    : onChange(std::move(onChange)), host_(host), bindingMode_(false), name_(std::move(name)) {
    host_.setPlaceholder(localizedString("record_shortcut"));
    refreshText();
    nameChanges_ = shortcutByNameDidChange().connect([this](const Name& changed) {
        if (changed.rawValue == name_.rawValue) refreshText();
    });
}

RecorderControl::RecorderControl(Host& host, std::optional<Shortcut> shortcut, OnChange onChange)
    : onChange(std::move(onChange)), host_(host), bindingMode_(true), bindingShortcut_(std::move(shortcut)),
      name_(std::string()) {
    host_.setPlaceholder(localizedString("record_shortcut"));
    refreshText();
}

RecorderControl::~RecorderControl() {
    // The hot keys must not stay paused by a control that is gone.
    if (activeSlot() == this) {
        activeSlot() = nullptr;
        if (isInstalled()) setPaused(false);
        recorderActiveStatusDidChange().emit(false);
    }
}

const RecorderControl* RecorderControl::activeRecorder() { return activeSlot(); }

std::optional<Shortcut> RecorderControl::shortcut() const {
    return bindingMode_ ? bindingShortcut_ : getShortcut(name_);
}

void RecorderControl::setShortcut(const std::optional<Shortcut>& shortcut) {
    if (bindingMode_) {
        if (shortcut == bindingShortcut_) return;
        bindingShortcut_ = shortcut;
        refreshText();
        return;
    }
    const auto old = getShortcut(name_);
    if (old == shortcut) return;
    if (!shortcut) {
        if (name_.initialShortcut)
            userDefaultsDisable(name_);
        else
            userDefaultsRemove(name_);
    } else {
        userDefaultsSet(name_, *shortcut);
    }
    refreshText();
}

void RecorderControl::setShortcutName(const Name& name) {
    if (bindingMode_) return;
    const bool differs = name.rawValue != name_.rawValue;
    name_ = name;
    if (differs) refreshText();
}

void RecorderControl::refreshText() {
    const auto current = shortcut();
    host_.setText(current ? current->presentableDescription() : std::string());
}

bool RecorderControl::becomeFirstResponder() {
    if (!host_.isInWindow()) return false;
    host_.setPlaceholder(localizedString("press_shortcut"));
    host_.setCaretVisible(false);
    activeSlot() = this;
    setPaused(true);
    recorderActiveStatusDidChange().emit(true);
    recording_ = true;
    host_.recordingDidChange(true);
    return true;
}

RecorderControl::Disposition RecorderControl::handleMouseUp(double x, double y, double width, double height) {
    if (!recording_) return Disposition::pass;
    constexpr double slack = 3;
    if (x < -slack || y < -slack || x > width + slack || y > height + slack) host_.endEditing();
    return Disposition::pass;
}

RecorderControl::Disposition RecorderControl::handleKeyDown(const KeyEvent& event) {
    if (!recording_) return Disposition::pass;
    if (event.type != KeyEvent::Type::keyDown && event.type != KeyEvent::Type::keyUp) return Disposition::swallow;

    const Key key(event.keyCode);
    if (hasNoModifierBut(event.modifierFlags, ModifierFlags::capsLock | ModifierFlags::numericPad)) {
        if (key == Key::tab) {
            host_.endEditing();
            return Disposition::pass;
        }
        if (key == Key::delete_ || key == Key::deleteForward) {
            // An empty field has no clear button: the key does nothing.
            if (shortcut()) host_.pressClearButton();
            return Disposition::swallow;
        }
        if (key == Key::escape) {
            host_.endEditing();
            return Disposition::swallow;
        }
    }

    // A shortcut needs a modifier, unless it is a function key.
    if (hasNoModifierBut(event.modifierFlags, ModifierFlags::capsLock | ModifierFlags::numericPad |
                                                  ModifierFlags::shift | ModifierFlags::function) &&
        !Key::functionKeys().count(key)) {
        host_.beep();
        return Disposition::swallow;
    }

    const auto shortcut = Shortcut::fromEvent(event);
    if (!shortcut) {
        host_.beep();
        return Disposition::swallow;
    }

    if (shortcut != this->shortcut()) {
        const auto menu = host_.applicationMenu();
        if (const MenuItem* item = shortcut->menuItemWithMatchingShortcut(menu)) {
            const std::string title = localizedFormat("keyboard_shortcut_used_by_menu_item", item->title);
            if (!handleConflict(conflictPolicy.menuItem, title, std::nullopt)) return Disposition::swallow;
        }
    }

    if (shortcut->isTakenBySystem() &&
        !handleConflict(conflictPolicy.systemShortcut, localizedString("keyboard_shortcut_used_by_system"),
                        localizedString("keyboard_shortcuts_can_be_changed")))
        return Disposition::swallow;

    if (validateShortcut) {
        const ValidationResult verdict = validateShortcut(*shortcut);
        if (verdict.kind == ValidationResult::Kind::disallow) {
            showAlert({verdict.reason, std::nullopt, {}});
            return Disposition::swallow;
        }
    }
    return accept(*shortcut);
}

RecorderControl::Disposition RecorderControl::accept(const Shortcut& shortcut) {
    host_.setText(shortcut.presentableDescription());
    if (bindingMode_)
        bindingShortcut_ = shortcut;
    else
        userDefaultsSet(name_, shortcut);
    if (onChange) onChange(shortcut);
    host_.endEditing();
    return Disposition::swallow;
}

bool RecorderControl::handleConflict(ConflictBehavior behavior, const std::string& title,
                                     const std::optional<std::string>& message) {
    switch (behavior) {
        case ConflictBehavior::block:
            showAlert({title, message, {}});
            return false;
        case ConflictBehavior::warn:
            return showAlert({title, message, {localizedString("ok"), localizedString("force_use_shortcut")}}) == 1;
        case ConflictBehavior::allow:
            return true;
    }
    return false;
}

int RecorderControl::showAlert(const Alert& alert) {
    host_.endEditing();
    const int response = host_.runAlert(alert);
    host_.makeFirstResponder();
    return response;
}

void RecorderControl::editingDidEnd() { host_.setCaretVisible(true); }

void RecorderControl::afterEditingEnded(bool focusedAgain) {
    if (focusedAgain) {
        host_.setCaretVisible(false);
        return;
    }
    endRecording();
}

void RecorderControl::endRecording() {
    if (std::exchange(recording_, false)) host_.recordingDidChange(false);
    host_.setPlaceholder(localizedString("record_shortcut"));
    host_.setCaretVisible(true);
    if (activeSlot() != this) return;
    activeSlot() = nullptr;
    setPaused(false);
    recorderActiveStatusDidChange().emit(false);
}

void RecorderControl::textDidChange(const std::string& text) {
    if (!text.empty()) return;
    if (bindingMode_)
        bindingShortcut_.reset();
    else
        setShortcut(std::nullopt);
    if (onChange) onChange(std::nullopt);
    host_.makeFirstResponder();
}

void RecorderControl::windowDidResignKey() {
    if (!host_.isInWindow()) return;
    endRecording();
    host_.endEditing();
}

void RecorderControl::didMoveToWindow(bool inWindow) {
    if (!inWindow) endRecording();
}

}  // namespace GlobalKeyBindings
