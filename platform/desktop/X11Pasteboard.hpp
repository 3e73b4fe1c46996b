#pragma once

#include <memory>
#include <mutex>

#include "platform/desktop/Pasteboard.hpp"

namespace platform::desktop {

class ClipboardOwnerProcess;
class X11SelectionReader;

// The X11 CLIPBOARD and PRIMARY selections. What this process puts there is
// served by a clipboard helper process per selection, so the selection
// keeps answering while this process waits on the program that pastes;
// reads go through connections of their own. A new helper takes a selection
// over from the one before, so a failed write leaves the contents as they
// were. A give-back's helper asks for the selection at the server time of
// the last change its caller knew, which the X server refuses when someone
// took the selection after that change, however late. X11 holds one item:
// items are written as one, their types merged (the first item's data wins
// for a type offered twice). The change counts count owner changes of each
// selection (XFixes). Under Wayland (or without a display) the pasteboard is
// empty and writes fail; the first use logs why.
class X11Pasteboard final : public Pasteboard {
public:
    X11Pasteboard();
    ~X11Pasteboard() override;

    std::vector<PasteboardItem> items() override;
    void clearContents() override;
    bool writeItems(const std::vector<PasteboardItem>& items) override;
    bool setString(const std::string& text) override;
    std::optional<std::string> string() override;
    int64_t changeCount() override;
    GiveBack giveBackItems(const std::vector<PasteboardItem>& items, int64_t since) override;
    bool takenBy(int32_t pid) override;
    void markPasteKey() override;
    std::optional<PrimarySelection> primarySelection() override;
    std::vector<PasteboardItem> primaryItems() override;
    bool writePrimaryItems(const std::vector<PasteboardItem>& items) override;
    bool setPrimaryString(const std::string& text) override;
    bool primaryTakenBy(int32_t pid) override;
    int64_t primaryChangeCount() override;
    GiveBack giveBackPrimaryItems(const std::vector<PasteboardItem>& items, int64_t since) override;

private:
    X11SelectionReader* reader();
    X11SelectionReader* primaryReader();
    // Starts a helper that takes `selection` over with `forms` (only if
    // nobody took it after the server time `notTakenAfter`, when given); the
    // helper before is let go only once the new one owns it.
    GiveBack own(const std::string& selection, const std::vector<struct SelectionData>& forms,
                 std::unique_ptr<ClipboardOwnerProcess>& owner, unsigned long notTakenAfter = 0);
    // Puts `items` in `selection` if its owner has not changed since change `since`.
    GiveBack giveBack(X11SelectionReader* reader, const std::string& selection,
                      const std::vector<PasteboardItem>& items, int64_t since,
                      std::unique_ptr<ClipboardOwnerProcess>& owner);
    // Ends our helper and leaves the selection to nobody; false without a display.
    static bool giveUp(X11SelectionReader* selection, std::unique_ptr<ClipboardOwnerProcess>& owner);

    std::mutex mutex_;
    std::unique_ptr<X11SelectionReader> reader_;
    std::unique_ptr<X11SelectionReader> primary_;
    std::unique_ptr<ClipboardOwnerProcess> owner_;
    std::unique_ptr<ClipboardOwnerProcess> primaryOwner_;
    bool failed_ = false;
};

}  // namespace platform::desktop
