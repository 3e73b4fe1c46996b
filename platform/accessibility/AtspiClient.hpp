#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/Geometry.hpp"

namespace platform::accessibility {

// One accessible object of another program, held by reference. Every text
// position it takes or returns counts UTF-16 units, whatever the toolkit
// counts in (Qt counts UTF-16 units, GTK code points: converted here).
// Every failed or timed-out call reads as an absent value.
class AtspiElement {
public:
    enum class Role { text, passwordText, terminal, other };

    ~AtspiElement();
    AtspiElement(const AtspiElement&) = delete;
    AtspiElement& operator=(const AtspiElement&) = delete;

    Role role() const;
    bool isPassword() const { return role() == Role::passwordText; }
    int pid() const;
    // Name and toolkit of the program the element belongs to.
    std::string applicationName() const;
    std::string toolkitName() const;

    // The whole text; none when the element has no text interface.
    std::optional<std::string> text() const;
    // The first selection as (location, length); none when nothing is selected.
    std::optional<std::pair<long, long>> selection() const;
    std::optional<long> caret() const;
    // The selection when there is one, else the caret with length 0.
    std::optional<std::pair<long, long>> selectedRange() const;
    // The text of a range; none when the range lies outside the text.
    std::optional<std::string> textIn(long location, long length) const;
    // Screen bounds of a range (X11 screen coordinates, top-left origin) (for length 0, of nothing); none when the toolkit has none.
    std::optional<Rect> bounds(long location, long length) const;
    // Selects the range; false when the toolkit refuses.
    bool select(long location, long length) const;
    // Whether the toolkit counts UTF-16 units (else code points).
    bool countsUtf16() const;
    // Whether `other` is the same object of the same program.
    bool isSame(const AtspiElement& other) const;

    void* object() const { return object_; }

private:
    friend class AtspiClient;
    AtspiElement(void* object, void* application);
    // Offsets between our UTF-16 units and the toolkit's, through the text.
    std::optional<long> toToolkit(const std::string& text, long utf16) const;
    std::optional<long> fromToolkit(const std::string& text, long units) const;

    void* object_;
    void* application_;
};

// The AT-SPI client of this process. Only one thread may use it at a time,
// and no thread may run GLib's default main context meanwhile: the library
// hooks the connections it opens to programs into that context, and a loop
// running it takes the replies a call waits for (the call then gives up
// after its whole time-out, though the program answered).
class AtspiClient {
public:
    // What the session bus said to a question: late when it gave no answer
    // in time, which says nothing either way.
    enum class Answer { yes, no, late };

    // Whether a session bus is there and offers the accessibility bus, asked
    // without touching libatspi (which ends the process when it has no bus).
    static Answer busAvailable();
    // Whether the desktop's accessibility switch (org.a11y.Status IsEnabled) is on.
    static Answer accessibilityEnabled();
    // Turns the switch on, so programs started from now on expose their widgets.
    static bool enableAccessibility();

    // The client, connected on first use. Throws AccessibilityError when
    // there is no session bus or no accessibility bus, and (kind noAnswer,
    // asked again at the next call) when the session bus did not answer in time.
    static AtspiClient& shared();

    // A search for a program's focused element.
    struct FocusSearch {
        std::shared_ptr<AtspiElement> element;
        bool listed = false;      // the program is on the bus
        bool unanswered = false;  // a request to it went unanswered on the way
    };
    // The focused element of the program `pid`; none for this process's own
    // programs (they would answer on the thread that asks) or when nothing is focused.
    FocusSearch findFocus(int pid);
    std::shared_ptr<AtspiElement> focusedElement(int pid) { return findFocus(pid).element; }
    // Whether a request made on this thread went unanswered (it timed out or
    // its connection failed) since the last call; clears the note.
    static bool takeUnansweredNote();
    // The pids of the programs on the accessibility bus, except this one.
    std::vector<int> applications();

private:
    AtspiClient();
};

}  // namespace platform::accessibility
