#include "app/Insertion/TextInserter.hpp"

#include "app/Insertion/Clipboard.hpp"
#include "app/Insertion/HeldKeys.hpp"
#include "app/Insertion/KeyTargets.hpp"
#include "app/Insertion/SessionText.hpp"
#include "app/Support/Settle.hpp"
#include "platform/foundation/Unicode.hpp"

namespace Parlox {

bool TextInserter::select(const platform::accessibility::ElementRef& element, int64_t location,
                          const std::string& text) {
    if (!element) return false;
    return element->setSelectedTextRange({location, static_cast<int64_t>(platform::utf16Length(text))});
}

namespace {

using platform::input::KeyTarget;

bool passes(PointOfNoReturn* point, bool intoTerminal) { return !point || point->pass(intoTerminal); }

// The text goes to the pasteboard for the user, unless it does not take it.
TextInserter::Outcome copyInstead(Clipboard& clipboard, const std::string& text, const char* message,
                                  PointOfNoReturn* point) {
    if (!passes(point, false)) return TextInserter::Outcome::calledOff();
    if (clipboard.put(text)) return TextInserter::Outcome::copied(message);
    return TextInserter::Outcome::failed(TextInserter::notCopiedMessage);
}

// Past the point into a terminal, the key waits (a second at most) until
// Escape is the terminal's again.
bool passesIntoTerminal(PointOfNoReturn* point, platform::Scheduler& scheduler) {
    if (!passes(point, true)) return false;
    if (point) Settle::within(scheduler, [&] { return point->escapeHandedOver(); });
    return true;
}

// Why a paste stopped before its key.
enum class HeldBack { notWritten, calledOff, keyHeld, switchedApp };

// Pastes into the program `pid`, the key going out only past `point`, with
// Escape and the shortcut let go and the program still in front; when it
// did not go, what became of the insertion.
std::optional<TextInserter::Outcome> pasteFailure(Clipboard& clipboard, const std::string& text, KeyTarget keys,
                                                  bool asTerminal, int32_t pid, PointOfNoReturn* point,
                                                  const DesktopServices& desktop) {
    HeldBack heldBack = HeldBack::notWritten;
    const auto holdBack = [&](HeldBack why) {
        heldBack = why;
        return false;
    };
    Clipboard::Gates gates;
    // A held Escape's call-off comes in while the key waits for its release.
    gates.mayWrite = [&] {
        if (!HeldKeys::released(desktop, "pegar")) return holdBack(HeldBack::keyHeld);
        return point && point->calledOff() ? holdBack(HeldBack::calledOff) : true;
    };
    gates.mayPost = [&] {
        if (!(asTerminal ? passesIntoTerminal(point, *desktop.scheduler) : passes(point, false)))
            return holdBack(HeldBack::calledOff);
        if (!HeldKeys::released(desktop, "pegar")) return holdBack(HeldBack::keyHeld);
        if (desktop.workspace->frontmostProcessId() != pid) return holdBack(HeldBack::switchedApp);
        return true;
    };
    if (clipboard.paste(text, keys, pid, gates)) return std::nullopt;
    switch (heldBack) {
        case HeldBack::calledOff:
            return TextInserter::Outcome::calledOff();
        case HeldBack::keyHeld:
            return copyInstead(clipboard, text, TextInserter::keyHeldMessage, point);
        case HeldBack::switchedApp:
            return copyInstead(clipboard, text, TextInserter::switchedAppMessage, point);
        case HeldBack::notWritten:
            break;
    }
    return TextInserter::Outcome::failed(TextInserter::notCopiedMessage);
}

bool hasSeveralLines(const std::string& text) { return text.find_first_of("\r\n") != std::string::npos; }

}  // namespace

TextInserter::Outcome TextInserter::insert(const std::string& text, const CapturedContext& context,
                                           const DesktopServices& desktop, PointOfNoReturn* point) {
    Clipboard clipboard(desktop);
    // A look the desktop leaves unanswered keeps the road the capture found.
    if (platform::accessibility::isMissing(desktop.accessibility->trustGap()))
        return copyInstead(clipboard, text, noPermissionMessage, point);
    const auto front = desktop.workspace->frontmostApplication();
    if (!context.pid || !front || front->processIdentifier != *context.pid)
        return copyInstead(clipboard, text, switchedAppMessage, point);
    const KeyTarget keys = keyTargetFor(context.element, front);
    const bool asTerminal = takenAsTerminal(keys, context);
    if (asTerminal && hasSeveralLines(text)) return copyInstead(clipboard, text, severalLinesMessage, point);
    if (keys == KeyTarget::terminal) return insertAtCursor(text, context, desktop, point);

    // The start of the selection just before the paste: where the text lands.
    std::optional<int64_t> location;
    if (context.element)
        if (auto range = context.element->selectedTextRange()) location = range->location;
    if (!location && context.selectedRange) location = context.selectedRange->location;

    // The insertion is never cut short once its key is out: the user's pasteboard must come back.
    if (auto failure = pasteFailure(clipboard, text, keys, asTerminal, *context.pid, point, desktop)) return *failure;

    if (context.element && location) {
        desktop.scheduler->sleep(selectDelay);
        const bool selected = select(context.element, *location, text);
        if (!Settle::within(desktop, [&] { return landed(context.element, *location, text, selected); }))
            return copyInstead(clipboard, text, notPastedMessage, point);
        return Outcome::inserted(location, selected);
    }
    return Outcome::inserted(location, false);
}

// A terminal pastes at its cursor and cannot replace a selection.
TextInserter::Outcome TextInserter::insertAtCursor(const std::string& text, const CapturedContext& context,
                                                   const DesktopServices& desktop, PointOfNoReturn* point) {
    Clipboard clipboard(desktop);
    const auto cursor = context.element ? context.element->caretOffset() : std::nullopt;
    if (auto failure = pasteFailure(clipboard, text, KeyTarget::terminal, true, *context.pid, point, desktop))
        return *failure;
    // A terminal without accessibility cannot be read back.
    if (!context.element) return Outcome::inserted(std::nullopt, false);
    // One that no longer tells its cursor has hung or gone: the text may be nowhere.
    if (cursor)
        if (const auto at = landedAtCursor(context.element, *cursor, text, *desktop.scheduler))
            return Outcome::inserted(at, false);
    return copyInstead(clipboard, text, notPastedMessage, point);
}

std::optional<int64_t> TextInserter::landedAtCursor(const platform::accessibility::ElementRef& element,
                                                    int64_t cursorBefore, const std::string& text,
                                                    platform::Scheduler& scheduler) {
    const auto length = static_cast<int64_t>(platform::utf16Length(text));
    std::optional<int64_t> at;
    // The program echoes the paste a moment after the terminal sent it.
    Settle::within(scheduler, [&] {
        const auto cursor = element->caretOffset();
        if (!cursor || *cursor < cursorBefore + length) return false;
        const auto shown = element->textInRange({*cursor - length, length});
        if (!shown || !SessionText::same(*shown, text)) return false;
        at = *cursor - length;
        return true;
    });
    return at;
}

bool TextInserter::landed(const platform::accessibility::ElementRef& element, int64_t location,
                          const std::string& text, bool selected) {
    if (selected) {
        const auto there = element->selectedText();
        return !there || SessionText::same(*there, text);
    }
    // Not selectable: a paste leaves the caret right after the text. A field
    // that told its range at the capture and tells nothing now has hung or
    // gone away: the text may be nowhere.
    const auto range = element->selectedTextRange();
    const int64_t end = location + static_cast<int64_t>(platform::utf16Length(text));
    return range && range->location == end && range->length == 0;
}

}  // namespace Parlox
