#pragma once

#include <functional>
#include <mutex>

namespace Parlox {

// The moment an insertion's paste key goes out (or its copy is made),
// shared by the job that inserts and the controller that may call the
// insertion off. Before it a call-off stands: nothing is pasted or copied,
// ever. After it the text is the user's to undo, and a call-off is refused.
// Thread-safe.
class PointOfNoReturn {
public:
    // Told once, on the inserter's thread, as the point is passed.
    using Passed = std::function<void()>;

    explicit PointOfNoReturn(Passed onPassed = {}) : onPassed_(std::move(onPassed)) {}

    // The inserter, right before its key or its copy; false when the
    // insertion was called off. Passing again answers true.
    bool pass(bool intoTerminal);
    // False when the point was passed already.
    bool callOff();

    bool calledOff() const;
    // The key went to a terminal: Escape is the terminal's from then on.
    bool passedIntoTerminal() const;
    // The controller, once it let Escape go for the terminal; its paste key
    // waits for this, so that an Escape as the answer shows reaches it.
    void handOverEscape();
    bool escapeHandedOver() const;

private:
    enum class State { ahead, passed, calledOff };

    mutable std::mutex mutex_;
    State state_ = State::ahead;
    bool intoTerminal_ = false;
    bool escapeHandedOver_ = false;
    Passed onPassed_;
};

}  // namespace Parlox
