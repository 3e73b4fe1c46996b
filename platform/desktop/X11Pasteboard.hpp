#pragma once

#include <memory>
#include <mutex>

#include "platform/desktop/Pasteboard.hpp"

namespace platform::desktop {

class ClipboardOwnerProcess;
class X11SelectionReader;

// The X11 CLIPBOARD. What this process puts there is served by the
// clipboard helper process, so the clipboard keeps answering while this
// process waits on the program that pastes; reads go through a connection of
// their own. X11 holds one item: items are written as one, their types
// merged (the first item's data wins for a type offered twice). The change
// count counts owner changes (XFixes). Under Wayland (or without a display)
// the pasteboard is empty and writes are dropped; the first use logs why.
class X11Pasteboard final : public Pasteboard {
public:
    X11Pasteboard();
    ~X11Pasteboard() override;

    std::vector<PasteboardItem> items() override;
    void clearContents() override;
    void writeItems(const std::vector<PasteboardItem>& items) override;
    void setString(const std::string& text) override;
    std::optional<std::string> string() override;
    int64_t changeCount() override;
    std::optional<PrimarySelection> primarySelection() override;

private:
    X11SelectionReader* reader();
    void own(const std::vector<struct SelectionData>& forms);

    std::mutex mutex_;
    std::unique_ptr<X11SelectionReader> reader_;
    std::unique_ptr<X11SelectionReader> primary_;
    std::unique_ptr<ClipboardOwnerProcess> owner_;
    bool failed_ = false;
};

}  // namespace platform::desktop
