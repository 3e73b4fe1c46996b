#pragma once

namespace platform::input {

// Where synthetic editing keys go. In a terminal the control key with C
// interrupts the user's program and with Z suspends it (some terminals
// send them with Shift held too), and control with V does not paste; the
// paste key every terminal takes is Shift+Insert, which pastes the primary
// selection there (and the clipboard in a text field).
//   ordinary       a program that is no terminal: the usual keys.
//   mayBeTerminal  a program that drives a terminal but shows a text field
//                  (an editor with a built-in terminal): its own paste key,
//                  never the copy or undo key.
//   terminal       a terminal: Shift+Insert, never the copy or undo key.
enum class KeyTarget { ordinary, mayBeTerminal, terminal };

// Synthetic input posted to whatever window has the keyboard focus, as if
// typed: each shortcut is a key press and release with its modifiers held,
// after releasing any modifier the user still holds (so a hot key's Alt
// does not turn the paste into another shortcut). Fire and forget: whether
// the target acted on it is not observed. Callable from any thread.
class KeySynth {
public:
    virtual ~KeySynth() = default;

    // Copy: Control+C, to an ordinary program only: elsewhere returns false
    // without posting anything; true when the key was posted.
    virtual bool copy(KeyTarget target) = 0;
    // Paste: Control+V; in a terminal Shift+Insert.
    virtual void paste(KeyTarget target) = 0;
    // Undo: Control+Z, to an ordinary program only, answered as copy().
    virtual bool undo(KeyTarget target) = 0;
    // The key that deletes the selection (or the character before the caret).
    virtual void deleteBackward() = 0;
    // Moves the pointer one pixel right and back, which counts as user
    // activity for the desktop's idle timer.
    virtual void nudgePointer() = 0;
};

}  // namespace platform::input
