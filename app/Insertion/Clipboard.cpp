#include "app/Insertion/Clipboard.hpp"

#include <mutex>

#include "app/Insertion/HeldKeys.hpp"
#include "app/Support/Log.hpp"

namespace Parlox {
namespace {

using platform::desktop::GiveBack;
using platform::desktop::PasteboardItem;
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

void Clipboard::giveBack(const Snapshot& saved, int64_t since) {
    // Taken meanwhile: the user copied something else, which stays.
    if (desktop_.pasteboard->giveBackItems(saved.items, since) == GiveBack::failed)
        Log::error("No se pudo devolver el portapapeles");
}

void Clipboard::giveBackUnlessReplaced(const Snapshot& saved, int64_t since, const std::optional<std::string>& ours) {
    auto& pasteboard = *desktop_.pasteboard;
    // Counted before the text is read: whatever is copied after the count wins over the give-back.
    const int64_t now = pasteboard.changeCount();
    // A clipboard manager that took our text over (same text, new owner) is not the user.
    if (now == since || pasteboard.string() == ours) giveBack(saved, now);
}

void Clipboard::giveBackPrimaryUnlessReplaced(const std::vector<PasteboardItem>& saved, int64_t since,
                                              const std::string& ours) {
    auto& pasteboard = *desktop_.pasteboard;
    const int64_t now = pasteboard.primaryChangeCount();
    if (now != since) {
        const auto primary = pasteboard.primarySelection();
        if (!primary || primary->text != ours) return;
    }
    pasteboard.giveBackPrimaryItems(saved, now);
}

std::optional<std::string> Clipboard::copySelection(KeyTarget target) {
    std::lock_guard turn(pasteboardTurn());
    const Snapshot saved = snapshot();
    const int64_t before = desktop_.pasteboard->changeCount();
    if (target == KeyTarget::ordinary && !HeldKeys::released(desktop_, "copiar")) return std::nullopt;
    if (!desktop_.keys->copy(target)) return std::nullopt;
    std::optional<std::string> copied;
    int64_t copiedAt = before;
    for (int poll = 0; poll < pollLimit && copiedAt == before; ++poll) {
        desktop_.scheduler->sleep(pollInterval);
        copiedAt = desktop_.pasteboard->changeCount();
        if (copiedAt != before) copied = desktop_.pasteboard->string();
    }
    // A copy that came after the last poll is given back too.
    if (copiedAt == before) copiedAt = desktop_.pasteboard->changeCount();
    if (copiedAt != before) giveBackUnlessReplaced(saved, copiedAt, copied);
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
        giveBackUnlessReplaced(saved, written, text);
        return false;
    }
    const int64_t primaryWritten = terminal ? pasteboard.primaryChangeCount() : 0;
    const auto giveBothBack = [&] {
        giveBackUnlessReplaced(saved, written, text);
        if (terminal) giveBackPrimaryUnlessReplaced(savedPrimary, primaryWritten, text);
    };
    if (gates.mayPost && !gates.mayPost()) {
        giveBothBack();
        return false;
    }
    // Reads while mayPost waited are a clipboard manager's, not the program's.
    pasteboard.markPasteKey();
    desktop_.keys->paste(target);
    waitUntilTaken(reader, terminal, stop);
    giveBothBack();
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
