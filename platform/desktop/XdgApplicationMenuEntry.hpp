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

    // Writes the entry when there is none, or when the one there starts
    // another program (this one moved); an entry for this program is left as
    // the user may have edited it. Throws DesktopError (fileWriteFailed).
    void install() override;

    static std::filesystem::path entryPath();

private:
    std::filesystem::path executable_;
};

}  // namespace platform::desktop
