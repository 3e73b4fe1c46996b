#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/Geometry.hpp"

namespace platform::accessibility {

// A stretch of text: its start and length in UTF-16 code units, whatever
// unit the toolkit behind the element counts in (the layer converts).
struct TextRange {
    int64_t location = 0;
    int64_t length = 0;

    friend bool operator==(const TextRange&, const TextRange&) = default;
};

// Role names as this layer reports them (the assistive-technology role names).
namespace roles {
inline constexpr std::string_view passwordText = "password text";
inline constexpr std::string_view terminal = "terminal";
inline constexpr std::string_view text = "text";
}  // namespace roles

// One user-interface element of another application, held for as long as
// the handle lives. Every read answers none when the element gives no value,
// is gone, or does not answer in time: a failure is never thrown. Calls are
// synchronous requests to the other application and may block briefly;
// they may be made from any thread (the backend serialises them).
class Element {
public:
    virtual ~Element() = default;

    virtual std::optional<std::string> role() = 0;
    // A finer kind where the toolkit gives one; none otherwise.
    virtual std::optional<std::string> subrole() = 0;

    // The selected text; "" when the element has text but nothing is selected.
    virtual std::optional<std::string> selectedText() = 0;
    // The selection, or the caret as a range of length 0.
    virtual std::optional<TextRange> selectedTextRange() = 0;
    // Where the caret is, also while text is selected.
    virtual std::optional<int64_t> caretOffset() = 0;
    // The text of `range`; none when the range lies outside the text.
    virtual std::optional<std::string> textInRange(const TextRange& range) = 0;
    // Selects `range`; true when the element took it.
    virtual bool setSelectedTextRange(const TextRange& range) = 0;
    // The on-screen rectangle of `range` in screen coordinates (top-left origin).
    virtual std::optional<Rect> boundsForRange(const TextRange& range) = 0;

    // Whether `other` stands for this same element of the same program (two
    // look-ups of one element may give two handles).
    virtual bool isSame(const Element& other) const { return this == &other; }
    // Whether the program left the last read unanswered (it did not answer in
    // time): the none that read gave says nothing about the element.
    virtual bool lastReadUnanswered() { return false; }
};

using ElementRef = std::shared_ptr<Element>;

// A look-up of a program's focused element: the element, or why there is none.
struct FocusLookup {
    enum class Miss {
        none,            // found
        unavailable,     // no accessibility service in this session
        notListed,       // the program is not on the accessibility bus
        nothingFocused,  // it answered, and nothing of it has the focus
        noAnswer,        // it did not answer in time
    };
    ElementRef element;
    Miss miss = Miss::none;
};

// What keeps this process from being trusted, the first missing piece.
enum class TrustGap {
    none,                      // trusted
    noX11Session,              // the session has no X display
    noAccessibilityBus,        // the session has no accessibility bus
    assistiveTechnologiesOff,  // the desktop's assistive-technology switch is off
    noSyntheticKeys,           // the X server takes no synthetic keys (no XTEST)
    noAnswer,                  // the desktop did not answer in time: nothing is known to be missing
};

// Whether the desktop answered that a piece is missing.
constexpr bool isMissing(TrustGap gap) { return gap != TrustGap::none && gap != TrustGap::noAnswer; }

// The desktop's accessibility service.
class Accessibility {
public:
    virtual ~Accessibility() = default;

    // Whether this process may read and drive other applications' elements;
    // never shows a prompt. False also when the desktop did not answer in time.
    virtual bool isProcessTrusted() = 0;
    // Why it is not; none while it is, noAnswer when the desktop did not answer in time.
    virtual TrustGap trustGap() = 0;
    // trustGap(), but a look the desktop leaves unanswered gives the last
    // answer this one got (noAnswer before the first): a state on screen does
    // not turn "missing" because the desktop is slow for a moment.
    TrustGap lastKnownTrustGap() {
        const TrustGap gap = trustGap();
        if (gap == TrustGap::noAnswer) return lastAnswer_.load();
        lastAnswer_.store(gap);
        return gap;
    }
    // Asks for that permission the way the desktop does (it may show its own
    // prompt or switch assistive technologies on); the answer at the time
    // of the call.
    virtual bool requestTrust() = 0;

    // Asks the application `pid` to expose its element tree to assistive
    // technologies, where its toolkit needs to be told. Results are ignored.
    virtual void exposeApplication(int32_t pid) = 0;
    // The element of `pid` that has the keyboard focus; none when there is none.
    virtual ElementRef focusedElement(int32_t pid) = 0;
    // The same, saying why there is none.
    virtual FocusLookup lookUpFocus(int32_t pid) {
        ElementRef element = focusedElement(pid);
        const auto miss = element ? FocusLookup::Miss::none : FocusLookup::Miss::nothingFocused;
        return {std::move(element), miss};
    }

private:
    std::atomic<TrustGap> lastAnswer_{TrustGap::noAnswer};
};

}  // namespace platform::accessibility
