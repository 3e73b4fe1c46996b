#include "app/Insertion/Clipboard.hpp"

#include <mutex>

namespace Parlox {
namespace {

// A capture, an insertion and an undo may overlap: each restores its own
// snapshot before the next one takes the pasteboard.
std::mutex& pasteboardTurn() {
    static std::mutex mutex;
    return mutex;
}

}  // namespace

Clipboard::Snapshot Clipboard::snapshot() { return Snapshot{desktop_.pasteboard->items()}; }

void Clipboard::restore(const Snapshot& snapshot) {
    desktop_.pasteboard->clearContents();
    if (!snapshot.items.empty()) desktop_.pasteboard->writeItems(snapshot.items);
}

std::optional<std::string> Clipboard::copySelection(platform::input::KeyTarget target) {
    std::lock_guard turn(pasteboardTurn());
    const Snapshot saved = snapshot();
    desktop_.pasteboard->clearContents();
    const int64_t before = desktop_.pasteboard->changeCount();
    desktop_.keys->copy(target);
    std::optional<std::string> copied;
    for (int poll = 0; poll < pollLimit; ++poll) {
        desktop_.scheduler->sleep(pollInterval);
        if (desktop_.pasteboard->changeCount() != before) {
            copied = desktop_.pasteboard->string();
            break;
        }
    }
    restore(saved);
    return copied;
}

void Clipboard::paste(const std::string& text, platform::input::KeyTarget target, std::stop_token stop) {
    std::lock_guard turn(pasteboardTurn());
    const Snapshot saved = snapshot();
    desktop_.pasteboard->clearContents();
    desktop_.pasteboard->setString(text);
    const int64_t written = desktop_.pasteboard->changeCount();
    desktop_.keys->paste(target);
    desktop_.scheduler->sleep(pasteHold, stop);
    // Something the user copied meanwhile stays. A clipboard manager that
    // took the text over (same text, new owner) does not count as the user.
    if (desktop_.pasteboard->changeCount() == written || desktop_.pasteboard->string() == text) restore(saved);
}

void Clipboard::put(const std::string& text) {
    std::lock_guard turn(pasteboardTurn());
    desktop_.pasteboard->clearContents();
    desktop_.pasteboard->setString(text);
}

}  // namespace Parlox
