#include "app/Insertion/TextReplacement.hpp"

#include "app/Insertion/Clipboard.hpp"
#include "app/Insertion/HeldKeys.hpp"
#include "app/Insertion/KeyTargets.hpp"
#include "app/Insertion/SessionText.hpp"
#include "app/Insertion/TextInserter.hpp"
#include "app/Support/Settle.hpp"

namespace Parlox {

bool TextReplacement::isFront(const DesktopServices& desktop, int32_t pid) {
    return desktop.workspace->frontmostProcessId() == pid;
}

std::optional<std::string> TextReplacement::keyBlocked(const DesktopServices& desktop, int32_t pid,
                                                       const char* action) {
    if (!HeldKeys::released(desktop, action)) return HeldKeys::stillHeld;
    if (!isFront(desktop, pid)) return otherApp;
    return std::nullopt;
}

void TextReplacement::bringBack(const DesktopServices& desktop, int32_t pid) {
    if (isFront(desktop, pid)) return;
    if (!desktop.workspace->runningApplication(pid)) return;
    desktop.workspace->activate(pid);
    for (int check = 0; check < 15; ++check)
        if (!isFront(desktop, pid)) desktop.scheduler->sleep(0.03);
    desktop.scheduler->sleep(0.08);
}

std::optional<std::string> TextReplacement::focusAway(const DesktopServices& desktop, const Target& target) {
    platform::accessibility::FocusLookup focus;
    // Escape's own grab takes the focus from the window while the key is down.
    if (Settle::within(desktop, [&] {
            focus = desktop.accessibility->lookUpFocus(target.pid);
            return focus.element && focus.element->isSame(*target.element);
        }))
        return std::nullopt;
    return focus.miss == platform::accessibility::FocusLookup::Miss::noAnswer ? notAnswering : otherField;
}

TextReplacement::Outcome TextReplacement::replace(const DesktopServices& desktop, const Target& target,
                                                  const std::string& replacement, bool undoKeyAllowed) {
    bringBack(desktop, target.pid);
    if (platform::accessibility::isMissing(desktop.accessibility->trustGap())) return Outcome::failed(noPermission);
    const auto front = desktop.workspace->frontmostApplication();
    if (!front || front->processIdentifier != target.pid) return Outcome::failed(otherApp);
    const auto keys = keyTargetFor(target.element, front);
    // A terminal pastes at its cursor: a paste would add the text, not put it back.
    if (keys == platform::input::KeyTarget::terminal) return Outcome::failed(inTerminal);
    if (target.element)
        if (const auto away = focusAway(desktop, target)) return Outcome::failed(*away);

    if (target.element && target.location) {
        TextInserter::select(target.element, *target.location, target.current);
        desktop.scheduler->sleep(0.04);
        bool unanswered = false;
        // Only text verified to be the program's own is overwritten.
        const bool verified = Settle::within(desktop, [&] {
            const auto selected = target.element->selectedText();
            unanswered = !selected && target.element->lastReadUnanswered();
            return SessionText::same(selected.value_or(""), target.current);
        });
        // Its text is unknown, not changed: no undo key for it either.
        if (unanswered) return Outcome::failed(notAnswering);
        if (verified) {
            if (const auto away = focusAway(desktop, target)) return Outcome::failed(*away);
            if (!replacement.empty()) {
                std::optional<std::string> blocked;
                Clipboard::Gates gates;
                gates.mayPost = [&] { return !(blocked = keyBlocked(desktop, target.pid, "pegar")); };
                if (!Clipboard(desktop).paste(replacement, keys, target.pid, gates))
                    return Outcome::failed(blocked.value_or(TextInserter::notCopiedMessage));
                desktop.scheduler->sleep(0.06);
                TextInserter::select(target.element, *target.location, replacement);
            } else {
                if (const auto blocked = keyBlocked(desktop, target.pid, "borrar")) return Outcome::failed(*blocked);
                desktop.keys->deleteBackward();
            }
            return Outcome::replaced();
        }
    }
    if (undoKeyAllowed) {
        if (const auto blocked = keyBlocked(desktop, target.pid, "deshacer")) return Outcome::failed(*blocked);
        if (desktop.keys->undo(keys)) return Outcome::commandZ();
    }
    return Outcome::failed(textChanged);
}

}  // namespace Parlox
