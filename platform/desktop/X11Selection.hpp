#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

typedef struct _XDisplay Display;
typedef union _XEvent XEvent;

namespace platform::desktop {

// One form of the selection's content: the target it is offered under, the
// type and item format of the property that carries it, and the bytes.
struct SelectionData {
    std::string target;
    std::string type;
    int format = 8;
    std::vector<unsigned char> bytes;

    bool operator==(const SelectionData&) const = default;
};

// The names a plain text is offered under.
std::vector<SelectionData> textForms(const std::string& utf8);

// Targets that describe the selection rather than hold content: a snapshot
// leaves them out and an owner answers them itself.
bool isMetaTarget(const std::string& target);

// The process of the program that made `window`, as the X server knows it.
std::optional<int> clientProcessId(Display* display, unsigned long window);

// The forms as the clipboard helper reads them on its standard input: for
// each form its target, type, format and byte count on lines of their own,
// then the bytes; an empty line ends the list.
std::string encodeForms(const std::vector<SelectionData>& forms);
// Reads forms from `fd` up to the empty line; none on malformed input.
std::optional<std::vector<SelectionData>> decodeForms(int fd);

// Reads a selection through its own X connection, so the owner is served
// by nobody this process waits on. Every read is bounded by a time-out.
class X11SelectionReader {
public:
    // Throws DesktopError when there is no display.
    explicit X11SelectionReader(const std::string& selection = "CLIPBOARD",
                                std::chrono::milliseconds timeout = std::chrono::milliseconds(1000));
    ~X11SelectionReader();
    X11SelectionReader(const X11SelectionReader&) = delete;
    X11SelectionReader& operator=(const X11SelectionReader&) = delete;

    // The owner's window, 0 when nobody owns the selection.
    unsigned long owner();
    // The targets the owner offers; none when it does not answer.
    std::optional<std::vector<std::string>> targets();
    // One target's content (large transfers included); none when refused or late.
    std::optional<SelectionData> read(const std::string& target);
    // Every content target with its data, in the order the owner lists them.
    std::vector<SelectionData> readAll();
    // The text, from the first text target that answers.
    std::optional<std::string> text();
    // The process of the program that owns the selection, as the X server knows it.
    std::optional<int> ownerProcessId();
    // Gives the selection up (nobody owns it afterwards).
    void clear();
    // Gives it up only if nobody took it after the server time `since`
    // (CurrentTime: whoever holds it); false when it was someone else's by then.
    bool clearUnlessTakenAfter(unsigned long since);
    // Owner changes seen since this reader was made.
    uint64_t changeCount();
    // The server time of the selection's last change of owner, if the
    // owner has not changed since change `count` (changeCount()); none if
    // it has. CurrentTime when no change has been seen yet (or the X server
    // lacks XFixes): a give-back at that time takes the selection from anyone.
    std::optional<unsigned long> lastChangeTimeIfUnchangedSince(uint64_t count);

private:
    Display* display_ = nullptr;
    unsigned long window_ = 0;
    unsigned long selection_ = 0;
    std::chrono::milliseconds timeout_;
    int fixesEvent_ = -1;
    uint64_t changes_ = 0;
    unsigned long lastChangeTime_ = 0;
    void drainOwnerEvents();
    // Counts an owner change; false for any other event.
    bool noteOwnerChange(const XEvent& event);
};

}  // namespace platform::desktop
