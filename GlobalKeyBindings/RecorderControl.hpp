#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "GlobalKeyBindings/ConflictPolicy.hpp"
#include "GlobalKeyBindings/MenuItem.hpp"
#include "GlobalKeyBindings/Name.hpp"
#include "GlobalKeyBindings/Shortcut.hpp"
#include "GlobalKeyBindings/ValidationResult.hpp"
#include "platform/concurrency/Signal.hpp"

namespace GlobalKeyBindings {

inline constexpr std::string_view recorderActiveStatusDidChangeNotification =
    "GlobalKeyBindings_recorderActiveStatusDidChange";

// Announced with true when a recorder starts recording, and with false when
// the recording that paused the hot keys ends.
platform::Signal<bool>& recorderActiveStatusDidChange();

// The logic of the field in which the user records a global shortcut. It
// shows the current shortcut, records while it has the focus (the global
// hot keys are paused meanwhile), takes the next key press as the new
// shortcut, checks it against the application's menus, the desktop's own
// shortcuts and the caller's validation, and stores it: under its name in
// the user defaults (name mode), or as its own value (binding mode). The
// field itself, a toolkit widget, is its Host. Main thread only.
class RecorderControl {
public:
    struct Alert {
        std::string title;
        std::optional<std::string> message;
        std::vector<std::string> buttons;  // none: one button of the toolkit's own

        friend bool operator==(const Alert&, const Alert&) = default;
    };

    // What the field does for the control.
    class Host {
    public:
        virtual ~Host() = default;
        // The field's text; its clear button shows exactly while the text is not empty.
        virtual void setText(const std::string& text) = 0;
        virtual void setPlaceholder(const std::string& text) = 0;
        virtual void setCaretVisible(bool visible) = 0;
        // The focus leaves the field, which ends the recording (editingDidEnd).
        virtual void endEditing() = 0;
        // The field takes the focus again, which starts recording anew.
        virtual void makeFirstResponder() = 0;
        virtual void beep() = 0;
        // Empties the field as its clear button does; textDidChange follows.
        virtual void pressClearButton() = 0;
        // A warning alert, modal for the field's window; answers the index of
        // the chosen button (0 for the first).
        virtual int runAlert(const Alert& alert) = 0;
        // The items of the application's menus, for the conflict check.
        virtual std::vector<MenuItem> applicationMenu() const = 0;
        virtual bool isInWindow() const = 0;
        // Recording started or ended.
        virtual void recordingDidChange(bool recording) { (void)recording; }
    };

    enum class Disposition { pass, swallow };

    using OnChange = std::function<void(const std::optional<Shortcut>&)>;
    using Validator = std::function<ValidationResult(const Shortcut&)>;

    // The field's width in points.
    static constexpr double minimumWidth = 130;

    // Name mode: the name's stored shortcut is the value, kept current.
    RecorderControl(Host& host, Name name, OnChange onChange = {});
    // Binding mode: the control holds the value itself.
    RecorderControl(Host& host, std::optional<Shortcut> shortcut, OnChange onChange = {});
    // A control destroyed while recording ends its recording first.
    ~RecorderControl();
    RecorderControl(const RecorderControl&) = delete;
    RecorderControl& operator=(const RecorderControl&) = delete;

    // Setting it stores the value (name mode) and never calls onChange.
    std::optional<Shortcut> shortcut() const;
    void setShortcut(const std::optional<Shortcut>& shortcut);

    const Name& shortcutName() const { return name_; }
    // Name mode: shows the new name's shortcut. Binding mode: nothing.
    void setShortcutName(const Name& name);

    bool isBindingMode() const { return bindingMode_; }
    bool isRecording() const { return recording_; }
    // The control whose recording paused the hot keys, if any.
    static const RecorderControl* activeRecorder();

    OnChange onChange;
    Validator validateShortcut;
    ConflictPolicy conflictPolicy = ConflictPolicy::defaultPolicy;

    // ---- Events from the field ----

    // The field is about to take the focus; false refuses it (not in a window).
    bool becomeFirstResponder();
    // A key press while recording.
    Disposition handleKeyDown(const KeyEvent& event);
    // A left or right button released at (x, y) in the field's coordinates
    // while recording; the click itself always goes on.
    Disposition handleMouseUp(double x, double y, double width, double height);
    // The focus left the field. On the next turn of the main loop the field
    // calls afterEditingEnded with whether it holds the focus again.
    void editingDidEnd();
    void afterEditingEnded(bool focusedAgain);
    // The user emptied the field (the clear button).
    void textDidChange(const std::string& text);
    void windowDidResignKey();
    void didMoveToWindow(bool inWindow);
    void endRecording();

private:
    void refreshText();
    Disposition accept(const Shortcut& shortcut);
    bool handleConflict(ConflictBehavior behavior, const std::string& title,
                        const std::optional<std::string>& message);
    int showAlert(const Alert& alert);

    Host& host_;
    bool bindingMode_;
    std::optional<Shortcut> bindingShortcut_;
    Name name_;
    bool recording_ = false;
    platform::Connection nameChanges_;
};

}  // namespace GlobalKeyBindings
