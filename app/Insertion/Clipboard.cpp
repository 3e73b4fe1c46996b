#include "app/Insertion/Clipboard.hpp"

#include <mutex>

#include "app/Insertion/HeldKeys.hpp"
#include "app/Support/Log.hpp"

namespace Parlox {
namespace {

using platform::input::KeyTarget;

// A capture, an insertion and an undo may overlap: each restores its own
// snapshot before the next one takes the pasteboard.
std::mutex& pasteboardTurn() {
    static std::mutex mutex;
    return mutex;
}

}  // namespace

Clipboard::Snapshot Clipboard::snapshot() { return Snapshot{desktop_.pasteboard->items()}; }

bool Clipboard::restore(const Snapshot& snapshot) { return desktop_.pasteboard->writeItems(snapshot.items); }

void Clipboard::giveBack(const Snapshot& saved) {
    if (!restore(saved)) Log::error("No se pudo devolver el portapapeles");
}

std::optional<std::string> Clipboard::copySelection(KeyTarget target) {
    std::lock_guard turn(pasteboardTurn());
    const Snapshot saved = snapshot();
    const int64_t before = desktop_.pasteboard->changeCount();
    if (target == KeyTarget::ordinary && !HeldKeys::released(desktop_, "copiar")) return std::nullopt;
    if (!desktop_.keys->copy(target)) return std::nullopt;
    std::optional<std::string> copied;
    for (int poll = 0; poll < pollLimit; ++poll) {
        desktop_.scheduler->sleep(pollInterval);
        if (desktop_.pasteboard->changeCount() != before) {
            copied = desktop_.pasteboard->string();
            break;
        }
    }
    if (desktop_.pasteboard->changeCount() != before) giveBack(saved);
    return copied;
}

bool Clipboard::paste(const std::string& text, KeyTarget target, int32_t reader, const Gates& gates,
                      std::stop_token stop) {
    std::lock_guard turn(pasteboardTurn());
    auto& pasteboard = *desktop_.pasteboard;
    const bool terminal = target == KeyTarget::terminal;
    const Snapshot saved = snapshot();
    const auto savedPrimary = terminal ? pasteboard.primaryItems() : std::vector<platform::desktop::PasteboardItem>{};
    // A clipboard manager would keep for good whatever is written.
    if (gates.mayWrite && !gates.mayWrite()) return false;
    if (!pasteboard.setString(text)) return false;
    const int64_t written = pasteboard.changeCount();
    // Without the text there, a terminal would paste whatever was selected last.
    if (terminal && !pasteboard.setPrimaryString(text)) {
        giveBack(saved);
        return false;
    }
    if (gates.mayPost && !gates.mayPost()) {
        giveBack(saved);
        if (terminal) pasteboard.writePrimaryItems(savedPrimary);
        return false;
    }
    // Reads while mayPost waited are a clipboard manager's, not the program's.
    pasteboard.markPasteKey();
    desktop_.keys->paste(target);
    waitUntilTaken(reader, terminal, stop);
    // Something the user copied meanwhile stays. A clipboard manager that
    // took the text over (same text, new owner) does not count as the user.
    if (pasteboard.changeCount() == written || pasteboard.string() == text) giveBack(saved);
    if (terminal) {
        const auto primary = pasteboard.primarySelection();
        if (primary && primary->text == text) pasteboard.writePrimaryItems(savedPrimary);
    }
    return true;
}

void Clipboard::waitUntilTaken(int32_t reader, bool primaryToo, std::stop_token stop) {
    auto& pasteboard = *desktop_.pasteboard;
    auto& scheduler = *desktop_.scheduler;
    auto taken = [&] { return pasteboard.takenBy(reader) || (primaryToo && pasteboard.primaryTakenBy(reader)); };
    const auto start = scheduler.uptime();
    if (!scheduler.sleep(pasteHold, stop) || taken()) return;
    do {
        // A program that never asks (it ignores the key) gets the user's contents back in the end.
        if (scheduler.secondsSince(start) >= takeLimit || !scheduler.sleep(pollInterval, stop)) return;
    } while (!taken());
    scheduler.sleep(takeSettle, stop);
}

bool Clipboard::put(const std::string& text) {
    std::lock_guard turn(pasteboardTurn());
    // A paste whose restore failed may have left it there already.
    return desktop_.pasteboard->setString(text) || desktop_.pasteboard->string() == text;
}

}  // namespace Parlox
