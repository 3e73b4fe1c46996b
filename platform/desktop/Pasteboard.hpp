#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform::desktop {

// One item of the pasteboard: each type it offers (a MIME type such as
// "text/plain;charset=utf-8") with that type's bytes, in the item's order.
struct PasteboardItem {
    std::vector<std::pair<std::string, std::string>> representations;

    friend bool operator==(const PasteboardItem&, const PasteboardItem&) = default;
};

// What the primary selection holds: the text the user selected last in any
// application, and the process that owns it when the backend can tell.
struct PrimarySelection {
    std::string text;
    std::optional<int32_t> ownerProcessId;

    friend bool operator==(const PrimarySelection&, const PrimarySelection&) = default;
};

// What became of contents given back to a selection.
enum class GiveBack {
    done,
    // Someone else changed the selection after the change the caller knew:
    // theirs stays (the user copied meanwhile).
    takenMeanwhile,
    // The selection did not take them; it keeps what it held.
    failed,
};

// The desktop's general pasteboard (the CLIPBOARD selection on X11), read
// and written as whole items so that a caller can save everything it holds
// and put it back; and the primary selection (what middle-click and a
// terminal's paste key insert). Thread-safe; calls may block briefly while
// another application hands its data over.
class Pasteboard {
public:
    static constexpr std::string_view plainTextType = "text/plain;charset=utf-8";

    virtual ~Pasteboard() = default;

    // Every item with every type that gave data, in order; types whose data
    // cannot be read are left out. Empty when the pasteboard is empty.
    virtual std::vector<PasteboardItem> items() = 0;
    // Empties the pasteboard.
    virtual void clearContents() = 0;
    // Replaces the contents with the items, in one go, in order. False when
    // the pasteboard did not take them: the contents before are then kept.
    virtual bool writeItems(const std::vector<PasteboardItem>& items) = 0;
    // Replaces the contents with `text` as plain text; false as writeItems().
    virtual bool setString(const std::string& text) = 0;
    // The pasteboard's plain text; none when it holds no text.
    virtual std::optional<std::string> string() = 0;
    // Grows by at least one with every change of the contents, by this
    // process or another.
    virtual int64_t changeCount() = 0;
    // Puts `items` back in place of what the pasteboard holds (none: leaves
    // it to nobody), only if nobody changed it after change `since` (a
    // changeCount()). A change made while this call runs wins too: the
    // desktop decides it in one step.
    virtual GiveBack giveBackItems(const std::vector<PasteboardItem>& items, int64_t since) = 0;
    // Whether the program `pid` has read what this process wrote last on
    // the pasteboard (it has what it pastes), since the last markPasteKey().
    // A reader the desktop cannot name counts as that program.
    virtual bool takenBy(int32_t pid) = 0;
    // Called right before the paste key goes out: the reads made so far of
    // what this process wrote last (on the pasteboard and in the primary
    // selection) no longer count for takenBy() and primaryTakenBy(). A
    // clipboard manager reads every new content at once, before the key.
    virtual void markPasteKey() = 0;

    // The primary selection; none when nothing holds it or it has no text.
    virtual std::optional<PrimarySelection> primarySelection() = 0;
    // The primary selection's contents, to save them, and their way back:
    // an empty list leaves the primary selection to nobody. False when the
    // selection did not take them (it is then left as it was).
    virtual std::vector<PasteboardItem> primaryItems() = 0;
    virtual bool writePrimaryItems(const std::vector<PasteboardItem>& items) = 0;
    // Makes `text` the primary selection; false as writePrimaryItems().
    virtual bool setPrimaryString(const std::string& text) = 0;
    // takenBy() for what this process wrote last in the primary selection.
    virtual bool primaryTakenBy(int32_t pid) = 0;
    // changeCount() and giveBackItems() for the primary selection.
    virtual int64_t primaryChangeCount() = 0;
    virtual GiveBack giveBackPrimaryItems(const std::vector<PasteboardItem>& items, int64_t since) = 0;
};

}  // namespace platform::desktop
