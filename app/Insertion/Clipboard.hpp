#pragma once

#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "app/Support/DesktopServices.hpp"
#include "platform/desktop/Pasteboard.hpp"

namespace Parlox {

// Reading a selection by copying it and writing text into another
// application by pasting it, leaving the user's pasteboard as it was found.
// The operations block (their waits run on the scheduler): call them off the
// main thread, one at a time.
class Clipboard {
public:
    // Every item of the pasteboard with every type that gave data.
    struct Snapshot {
        std::vector<platform::desktop::PasteboardItem> items;
        friend bool operator==(const Snapshot&, const Snapshot&) = default;
    };

    static constexpr double pollInterval = 0.02;
    static constexpr int pollLimit = 15;
    static constexpr double pasteHold = 0.4;

    explicit Clipboard(DesktopServices desktop) : desktop_(std::move(desktop)) {}

    Snapshot snapshot();
    // Clears the pasteboard and writes the saved items back in one go; an
    // empty snapshot leaves it cleared.
    void restore(const Snapshot& snapshot);

    // Posts the copy key and waits up to 15 polls of 20 ms for the pasteboard
    // to change; the text it then holds, or none. The user's contents are
    // restored whatever happens. The polls always wait their time, even for
    // a capture that is no longer wanted: a copy the application makes after
    // the restore would take the user's contents for good.
    std::optional<std::string> copySelection(platform::input::KeyTarget target);
    // Puts `text` on the pasteboard, posts the paste key, waits 0.4 s (less
    // on a stop request) and restores the user's contents, unless the
    // pasteboard meanwhile got something else (the user copied anew).
    void paste(const std::string& text, platform::input::KeyTarget target, std::stop_token stop = {});
    // Leaves `text` on the pasteboard for the user (the contents before are replaced).
    void put(const std::string& text);

private:
    DesktopServices desktop_;
};

}  // namespace Parlox
