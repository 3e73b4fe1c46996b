#include "app/Insertion/TextInserter.hpp"

#include "app/Insertion/Clipboard.hpp"
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

TextInserter::Outcome TextInserter::insert(const std::string& text, const CapturedContext& context,
                                           const DesktopServices& desktop) {
    Clipboard clipboard(desktop);
    if (!desktop.accessibility->isProcessTrusted()) {
        clipboard.put(text);
        return Outcome::copied(noPermissionMessage);
    }
    const auto front = desktop.workspace->frontmostApplication();
    if (!context.pid || !front || front->processIdentifier != *context.pid) {
        clipboard.put(text);
        return Outcome::copied(switchedAppMessage);
    }

    // The start of the selection just before the paste: where the text lands.
    std::optional<int64_t> location;
    if (context.element)
        if (auto range = context.element->selectedTextRange()) location = range->location;
    if (!location && context.selectedRange) location = context.selectedRange->location;

    // The insertion is never cut short: the user's pasteboard must come back.
    clipboard.paste(text, keyTargetFor(context.element, front));

    if (context.element && location) {
        desktop.scheduler->sleep(selectDelay);
        const bool selected = select(context.element, *location, text);
        if (!Settle::within(desktop, [&] { return landed(context.element, *location, text, selected); })) {
            clipboard.put(text);
            return Outcome::copied(notPastedMessage);
        }
        return Outcome::inserted(location, selected);
    }
    return Outcome::inserted(location, false);
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
