#pragma once

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/desktop/X11Selection.hpp"
#include "platform/foundation/UniqueFd.hpp"

namespace platform::desktop {

// The client side of the clipboard helper (parlox-clipboard-owner): a child
// process that owns an X11 selection (the CLIPBOARD unless told otherwise)
// and serves the given forms. Serving from another process keeps the
// clipboard answering while this one makes blocking calls into the program
// that pastes. The helper outlives this object: it keeps the content until
// another program takes the selection.
class ClipboardOwnerProcess {
public:
    // Starts a helper and returns once it owns the selection. Given a server
    // time, the helper takes the selection only if nobody took it after
    // that time, a take made while the helper starts up included. Throws
    // DesktopError: refused when another program holds the selection
    // instead, failed when the helper cannot be started or cannot own it.
    static std::unique_ptr<ClipboardOwnerProcess> start(const std::vector<SelectionData>& forms,
                                                        const std::string& selection = "CLIPBOARD",
                                                        unsigned long notTakenAfter = 0 /* CurrentTime: any time */);

    ~ClipboardOwnerProcess();
    ClipboardOwnerProcess(const ClipboardOwnerProcess&) = delete;
    ClipboardOwnerProcess& operator=(const ClipboardOwnerProcess&) = delete;

    // Whether the helper still holds the clipboard (nobody took it since).
    bool stillOwner();
    // Whether the program `pid` has been handed the content since the last
    // markPasteKey(); a program the X server could not name counts as that one.
    bool takenBy(int pid);
    // Forgets who has been handed the content so far, down to the last
    // request the X server had for the helper: what the paste key makes a
    // program read comes after.
    void markPasteKey();
    // Gives the clipboard up and ends the helper.
    void quit();

    int pid() const { return pid_; }

    // Where the helper program is: $PARLOX_CLIPBOARD_OWNER, else beside this
    // executable, else in the build tree.
    static std::filesystem::path executable();

private:
    ClipboardOwnerProcess(int pid, UniqueFd input, UniqueFd output)
        : pid_(pid), input_(std::move(input)), output_(std::move(output)) {}
    // Reads what the helper reported, waiting at most `wait`; false when nothing came.
    bool pump(std::chrono::milliseconds wait);
    // Reads every report already there, without waiting.
    void takeReports();

    int pid_;
    UniqueFd input_;
    UniqueFd output_;
    std::string buffer_;
    std::string failure_;
    std::vector<std::optional<int>> takers_;  // who was handed the content, in order
    bool owned_ = false;
    bool refused_ = false;
    bool lost_ = false;
    bool ended_ = false;
    bool marked_ = false;
};

}  // namespace platform::desktop
