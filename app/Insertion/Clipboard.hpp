#pragma once

#include <functional>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "app/Support/DesktopServices.hpp"
#include "platform/desktop/Pasteboard.hpp"

namespace Parlox {

// Reading a selection by copying it and writing text into another
// application by pasting it, leaving the user's pasteboard as it was found.
// A write never empties the pasteboard first: when it fails, the user's
// contents stay. The operations block (their waits run on the scheduler):
// call them off the main thread, one at a time.
class Clipboard {
public:
    // Every item of the pasteboard with every type that gave data.
    struct Snapshot {
        std::vector<platform::desktop::PasteboardItem> items;
        friend bool operator==(const Snapshot&, const Snapshot&) = default;
    };

    static constexpr double pollInterval = 0.02;
    static constexpr int pollLimit = 15;
    // A paste holds the text at least this long after its key (a program may
    // ask for it in several requests, one after another),
    static constexpr double pasteHold = 0.4;
    // waits this long at most for the program to take the text,
    static constexpr double takeLimit = 3.0;
    // and this long after a late program took it, for a second request.
    static constexpr double takeSettle = 0.05;

    explicit Clipboard(DesktopServices desktop) : desktop_(std::move(desktop)) {}

    Snapshot snapshot();
    // Writes the saved items back in one go, in place of what the
    // pasteboard holds; an empty snapshot leaves it empty. False when the
    // pasteboard did not take them.
    bool restore(const Snapshot& snapshot);

    // Posts the copy key and waits up to 15 polls of 20 ms for the pasteboard
    // to change; the text it then holds, or none. A program that may be a
    // terminal gets no copy key and gives none, and so does any program while
    // Escape or the shortcut stays held (HeldKeys). The user's contents are
    // restored when the copy replaced them, unless something else replaced
    // the copy by the time they are back. The polls always wait their
    // time, even for a capture that is no longer wanted: a copy the
    // application makes after the restore would take the user's contents
    // for good.
    std::optional<std::string> copySelection(platform::input::KeyTarget target);
    // What a paste asks on its way; false at either stops it there.
    struct Gates {
        // Before anything is written: false leaves both selections untouched.
        std::function<bool()> mayWrite;
        // Right before the paste key goes out: false holds the key back.
        std::function<bool()> mayPost;
    };

    // Puts `text` where the paste key of `target` takes it from (a terminal
    // pastes the primary selection), posts the key, and waits until the
    // program `reader` has taken the text after the key (from pasteHold to
    // takeLimit, less on a stop request); then gives the user's contents back, unless the
    // pasteboard got something else (the user copied anew) before they are
    // back; the same for a terminal's primary selection. False
    // when the text could not be put there or a gate stopped the paste:
    // then no key was posted and the user's contents are as they were.
    bool paste(const std::string& text, platform::input::KeyTarget target, int32_t reader, const Gates& gates = {},
               std::stop_token stop = {});
    // Leaves `text` on the pasteboard for the user, in place of its contents;
    // false when it is not there (the pasteboard keeps what it held).
    bool put(const std::string& text);

private:
    void waitUntilTaken(int32_t reader, bool primaryToo, std::stop_token stop);
    // Puts the user's contents back unless the pasteboard changed after
    // change `since`, even while they are being put back: what the user
    // copied meanwhile stays.
    void giveBack(const Snapshot& saved, int64_t since);
    // Gives back what `ours` (written or copied at change `since`) replaced,
    // unless someone put something else there since.
    void giveBackUnlessReplaced(const Snapshot& saved, int64_t since, const std::optional<std::string>& ours);
    void giveBackPrimaryUnlessReplaced(const std::vector<platform::desktop::PasteboardItem>& saved, int64_t since,
                                       const std::string& ours);

    DesktopServices desktop_;
};

}  // namespace Parlox
