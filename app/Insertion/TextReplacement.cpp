#include "app/Insertion/TextReplacement.hpp"

#include "app/Insertion/Clipboard.hpp"
#include "app/Insertion/KeyTargets.hpp"
#include "app/Insertion/SessionText.hpp"
#include "app/Insertion/TextInserter.hpp"
#include "app/Support/Settle.hpp"

namespace Parlox {

void TextReplacement::bringBack(const DesktopServices& desktop, int32_t pid) {
    auto isFront = [&] {
        auto front = desktop.workspace->frontmostApplication();
        return front && front->processIdentifier == pid;
    };
    if (isFront()) return;
    if (!desktop.workspace->runningApplication(pid)) return;
    desktop.workspace->activate(pid);
    for (int check = 0; check < 15; ++check)
        if (!isFront()) desktop.scheduler->sleep(0.03);
    desktop.scheduler->sleep(0.08);
}

bool TextReplacement::focusIsOnTarget(const DesktopServices& desktop, const Target& target) {
    // Escape's own grab takes the focus from the window while the key is down.
    return Settle::within(desktop, [&] {
        const auto focused = desktop.accessibility->lookUpFocus(target.pid).element;
        return focused && focused->isSame(*target.element);
    });
}

TextReplacement::Outcome TextReplacement::replace(const DesktopServices& desktop, const Target& target,
                                                  const std::string& replacement, bool undoKeyAllowed) {
    bringBack(desktop, target.pid);
    if (!desktop.accessibility->isProcessTrusted()) return Outcome::failed(noPermission);
    const auto front = desktop.workspace->frontmostApplication();
    if (!front || front->processIdentifier != target.pid) return Outcome::failed(otherApp);
    const auto keys = keyTargetFor(target.element, front);
    // A terminal pastes at its cursor: a paste would add the text, not put it back.
    if (keys == platform::input::KeyTarget::terminal) return Outcome::failed(inTerminal);
    if (target.element && !focusIsOnTarget(desktop, target)) return Outcome::failed(otherField);

    if (target.element && target.location) {
        TextInserter::select(target.element, *target.location, target.current);
        desktop.scheduler->sleep(0.04);
        // Only text verified to be the program's own is overwritten.
        if (Settle::within(desktop, [&] {
                return SessionText::same(target.element->selectedText().value_or(""), target.current);
            })) {
            if (!focusIsOnTarget(desktop, target)) return Outcome::failed(otherField);
            if (!replacement.empty()) {
                if (!Clipboard(desktop).paste(replacement, keys, target.pid))
                    return Outcome::failed(TextInserter::notCopiedMessage);
                desktop.scheduler->sleep(0.06);
                TextInserter::select(target.element, *target.location, replacement);
            } else {
                desktop.keys->deleteBackward();
            }
            return Outcome::replaced();
        }
    }
    if (undoKeyAllowed && desktop.keys->undo(keys)) return Outcome::commandZ();
    return Outcome::failed(textChanged);
}

}  // namespace Parlox
