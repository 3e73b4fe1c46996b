#include "app/Insertion/TextInserter.hpp"

#include "app/Insertion/Clipboard.hpp"
#include "app/Insertion/KeyTargets.hpp"
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
        return Outcome::inserted(location, select(context.element, *location, text));
    }
    return Outcome::inserted(location, false);
}

}  // namespace Parlox
