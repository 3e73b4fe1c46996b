#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/Interface/WindowServices.hpp"
#include "app/Interface/WriterConnection.hpp"

namespace Parlox {

// Still images of the windows, in the light scheme and then the dark one:
// the welcome window's four pages ("bienvenida-<page>-"), its writing-tool
// page in six situations ("plan-<situation>-"), the menu bar panel
// ("menu-") and the four settings tabs ("ajustes-<tab>-"), each followed by
// "claro" or "oscuro" and ".png": thirty images. Each shows the window's
// content at one pixel per point.
struct WindowRenderer {
    struct Situation {
        std::string name;
        WriterConnection::Checks checks;
        std::optional<WriterProvider> connected;
    };
    static const std::vector<Situation>& situations();

    // Creates the folder and writes every image, printing each file name.
    // The permissions come from `services` (a missing service reads as
    // unknown). Throws platform::FileError when the folder or a file cannot
    // be written.
    static void render(const std::filesystem::path& folder, const std::function<void(const std::string&)>& print,
                       const WindowServices& services);
    // The same with the services a command-line run has.
    static void render(const std::filesystem::path& folder, const std::function<void(const std::string&)>& print);
};

}  // namespace Parlox
