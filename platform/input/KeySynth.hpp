#pragma once

namespace platform::input {

// Where synthetic editing keys go. A terminal takes different keys: there
// the control key with C interrupts and with Z suspends the user's program,
// and control with V does not paste.
enum class KeyTarget { ordinary, terminal };

// Synthetic input posted to whatever window has the keyboard focus, as if
// typed: each shortcut is a key press and release with its modifiers held,
// after releasing any modifier the user still holds (so a hot key's Alt
// does not turn the paste into another shortcut). Fire and forget: whether
// the target acted on it is not observed. Callable from any thread.
class KeySynth {
public:
    virtual ~KeySynth() = default;

    // Copy: Control+C; in a terminal Control+Shift+C.
    virtual void copy(KeyTarget target) = 0;
    // Paste: Control+V; in a terminal Control+Shift+V.
    virtual void paste(KeyTarget target) = 0;
    // Undo: Control+Z. Never sent to a terminal: returns false there without
    // posting anything, true when the key was posted.
    virtual bool undo(KeyTarget target) = 0;
    // The key that deletes the selection (or the character before the caret).
    virtual void deleteBackward() = 0;
    // Moves the pointer one pixel right and back, which counts as user
    // activity for the desktop's idle timer.
    virtual void nudgePointer() = 0;
};

}  // namespace platform::input
