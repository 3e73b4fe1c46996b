#include "platform/process/DesktopOpener.hpp"

#include "platform/process/Subprocess.hpp"

namespace platform::process {

void openWithDesktop(const std::string& target) {
    Options options;
    options.executable = "/usr/bin/xdg-open";
    options.arguments = {target};
    startDetached(std::move(options));
}

}  // namespace platform::process
