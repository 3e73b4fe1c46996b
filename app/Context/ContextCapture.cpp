#include "app/Context/ContextCapture.hpp"

#include <algorithm>

#include "app/Insertion/Clipboard.hpp"
#include "app/Insertion/KeyTargets.hpp"
#include "app/Support/Settle.hpp"
#include "platform/foundation/Unicode.hpp"

namespace Parlox {
namespace {

using platform::accessibility::ElementRef;
using platform::accessibility::FocusLookup;
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

// Why the road was left (or taken late), for the log.
std::string missNote(FocusLookup::Miss miss) {
    switch (miss) {
        case FocusLookup::Miss::unavailable: return "sin servicio de accesibilidad";
        case FocusLookup::Miss::notListed: return "la app no está en el bus de accesibilidad";
        case FocusLookup::Miss::nothingFocused: return "ningún elemento de la app tiene el foco";
        case FocusLookup::Miss::noAnswer: return ContextCapture::noAnswerNote;
        case FocusLookup::Miss::none: break;
    }
    return {};
}

// The focused element. A program whose focus is away is asked again for a
// moment (the hot key's grab takes the focus from its window until the user
// lets go of the key); one that did not answer in time gets one more try.
FocusLookup lookUpFocus(const DesktopServices& desktop, int32_t pid, std::string& note) {
    auto& accessibility = *desktop.accessibility;
    FocusLookup focus = accessibility.lookUpFocus(pid);
    if (focus.miss == FocusLookup::Miss::nothingFocused &&
        Settle::within(desktop, [&] {
            focus = accessibility.lookUpFocus(pid);
            return focus.miss != FocusLookup::Miss::nothingFocused;
        }))
        note = ContextCapture::focusLateNote;
    if (focus.miss == FocusLookup::Miss::noAnswer) {
        focus = accessibility.lookUpFocus(pid);
        note = ContextCapture::secondTryNote;
    }
    return focus;
}

struct SelectionRead {
    std::optional<TextRange> range;
    std::optional<std::string> text;
    bool unanswered = false;
    bool secondTry = false;
};

// The selection's range and text; when the program did not answer in time,
// once more.
SelectionRead readSelection(platform::accessibility::Element& element) {
    auto read = [&] {
        SelectionRead selection;
        selection.range = element.selectedTextRange();
        selection.unanswered = !selection.range && element.lastReadUnanswered();
        selection.text = element.selectedText();
        selection.unanswered = selection.unanswered || (!selection.text && element.lastReadUnanswered());
        return selection;
    };
    SelectionRead selection = read();
    if (!selection.unanswered) return selection;
    selection = read();
    selection.secondTry = true;
    return selection;
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
    std::string note;
    const FocusLookup focus = lookUpFocus(desktop, app->processIdentifier, note);
    if (!focus.element) {
        context.roadNote = missNote(focus.miss);
        return copyFallback(std::move(context), nullptr, std::nullopt, app, desktop);
    }
    const ElementRef& element = focus.element;

    if (isPasswordField(*element)) {
        context.element = element;
        context.isSecure = true;
        context.method = CapturedContext::Method::accessibility;
        return context;
    }

    const SelectionRead selection = readSelection(*element);
    if (selection.range) context.caretRect = caretRect(*element, *selection.range, desktop.workspace->screenFrames());
    if (selection.text) {
        context.element = element;
        context.selectedText = *selection.text;
        context.selectedRange = selection.range;
        context.method = CapturedContext::Method::accessibility;
        context.roadNote = selection.secondTry ? secondTryNote : note;
        return context;
    }
    context.roadNote = selection.unanswered ? noAnswerNote : noSelectionNote;
    return copyFallback(std::move(context), element, selection.range, app, desktop);
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
