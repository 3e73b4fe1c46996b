#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/desktop/SystemSettings.hpp"
#include "platform/process/Subprocess.hpp"

namespace platform::desktop {

// The settings programs of the desktops: each desktop's sound and
// accessibility pages, then programs that serve any desktop. A page is
// offered only when its program is installed. No desktop has a page for the
// window picture: on X11 it needs none.
class XdgSystemSettings final : public SystemSettings {
public:
    // A program that opens the page for an anchor.
    struct Page {
        std::vector<std::string> desktops;  // as XDG_CURRENT_DESKTOP names them; empty: any desktop
        std::string anchor;
        std::string program;
        std::vector<std::string> arguments;
    };
    // In the order they are tried.
    static const std::vector<Page>& pages();

    using Start = std::function<void(process::Options)>;

    // The session's desktop (XDG_CURRENT_DESKTOP) and programs (PATH).
    XdgSystemSettings();
    // `currentDesktop` as XDG_CURRENT_DESKTOP writes it ("ubuntu:GNOME"),
    // `searchPath` as PATH does; `start` starts the program (detached when empty).
    XdgSystemSettings(std::string currentDesktop, std::string searchPath, Start start = {});

    bool hasPrivacySettings(const std::string& anchor) override;
    bool openPrivacySettings(const std::string& anchor) override;

private:
    struct Found {
        const Page* page;
        std::filesystem::path executable;
    };
    std::optional<Found> find(const std::string& anchor) const;
    bool isCurrent(const Page& page) const;

    std::vector<std::string> currentDesktops_;
    std::string searchPath_;
    Start start_;
};

}  // namespace platform::desktop
