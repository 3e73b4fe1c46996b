#pragma once

#include <filesystem>

#include "platform/desktop/ApplicationMenuEntry.hpp"

namespace platform::desktop {

// The application menu entry as an XDG desktop entry: "parlox.desktop" in
// $XDG_DATA_HOME/applications (else ~/.local/share/applications), which the
// desktops' menus and launchers list.
class XdgApplicationMenuEntry final : public ApplicationMenuEntry {
public:
    // `executable`: what the entry starts (default: this program).
    explicit XdgApplicationMenuEntry(std::filesystem::path executable = {});

    // Writes the entry when there is none, when the one there is still as
    // Parlox wrote it for another program (this one moved), or when it starts
    // a program that is gone. Any other entry is the user's and stays as it
    // is. A symbolic link stays too: the entry is written where it leads,
    // when that folder is there. Throws DesktopError (fileWriteFailed).
    void install() override;

    static std::filesystem::path entryPath();

private:
    std::filesystem::path executable_;
};

}  // namespace platform::desktop
