#include "app/Context/ContextCapture.hpp"

#include <algorithm>

#include "app/Insertion/Clipboard.hpp"
#include "app/Insertion/KeyTargets.hpp"
#include "platform/foundation/Unicode.hpp"

namespace Parlox {
namespace {

using platform::accessibility::ElementRef;
using platform::accessibility::TextRange;

bool isPasswordField(platform::accessibility::Element& element) {
    const std::optional<std::string> secure(platform::accessibility::roles::passwordText);
    return element.subrole() == secure || element.role() == secure;
}

// The primary selection outlives the highlight it came from: it stands for
// the selection only where the program shows a selection of its length.
std::optional<std::string> shownPrimarySelection(const std::optional<TextRange>& shown, std::optional<int32_t> pid,
                                                 const DesktopServices& desktop) {
    if (!shown || shown->length <= 0) return std::nullopt;
    auto primary = desktop.pasteboard->primarySelection();
    if (!primary || !primary->ownerProcessId || primary->ownerProcessId != pid) return std::nullopt;
    if (static_cast<int64_t>(platform::utf16Length(primary->text)) != shown->length) return std::nullopt;
    return primary->text;
}

// Without a selected text from accessibility: the primary selection where
// the program shows it, else the copy key and the clipboard it fills (a
// program that may be a terminal gets no copy key).
CapturedContext copyFallback(CapturedContext context, const ElementRef& element,
                             const std::optional<TextRange>& shown,
                             const std::optional<platform::desktop::RunningApplication>& app,
                             const DesktopServices& desktop) {
    context.element = element;
    context.selectedRange.reset();
    context.caretRect.reset();
    std::optional<std::string> copied = shownPrimarySelection(shown, context.pid, desktop);
    if (!copied) copied = Clipboard(desktop).copySelection(keyTargetFor(element, app));
    context.selectedText = copied.value_or("");
    context.method = copied ? CapturedContext::Method::clipboard : CapturedContext::Method::none;
    return context;
}

}  // namespace

CapturedContext ContextCapture::capture(const DesktopServices& desktop) {
    CapturedContext context;
    const auto app = desktop.workspace->frontmostApplication();
    if (!app) return context;
    context.pid = app->processIdentifier;
    context.appName = app->localizedName;
    context.bundleID = app->bundleIdentifier;
    if (app->processIdentifier == desktop.workspace->currentProcessId()) return context;

    desktop.accessibility->exposeApplication(app->processIdentifier);
    ElementRef element = desktop.accessibility->focusedElement(app->processIdentifier);
    if (!element) return copyFallback(std::move(context), nullptr, std::nullopt, app, desktop);

    if (isPasswordField(*element)) {
        context.element = element;
        context.isSecure = true;
        context.method = CapturedContext::Method::accessibility;
        return context;
    }

    const auto range = element->selectedTextRange();
    if (range) context.caretRect = caretRect(*element, *range, desktop.workspace->screenFrames());
    if (auto selected = element->selectedText()) {
        context.element = element;
        context.selectedText = *selected;
        context.selectedRange = range;
        context.method = CapturedContext::Method::accessibility;
        return context;
    }
    return copyFallback(std::move(context), element, range, app, desktop);
}

std::optional<platform::Rect> ContextCapture::caretRect(platform::accessibility::Element& element,
                                                        const TextRange& range,
                                                        const std::vector<platform::Rect>& screens) {
    std::vector<TextRange> candidates{range};
    if (range.length < 1) {
        candidates.push_back({range.location, 1});
        candidates.push_back({std::max<int64_t>(range.location - 1, 0), 1});
    }
    for (const TextRange& candidate : candidates) {
        const auto bounds = element.boundsForRange(candidate);
        if (!bounds || !(bounds->height > 0)) continue;
        platform::Rect result = *bounds;
        if (range.length == 0) {
            result.width = 1;
            // The character before the caret: the caret stands at its right edge.
            if (candidate.location < range.location) result.x = bounds->maxX();
        }
        const platform::Rect grown = result.grownBy(1);
        if (std::any_of(screens.begin(), screens.end(), [&](const platform::Rect& s) { return grown.intersects(s); }))
            return result;
    }
    return std::nullopt;
}

}  // namespace Parlox
