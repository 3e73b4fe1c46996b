#include "platform/process/PseudoTerminal.hpp"

#include <filesystem>
#include <string>

namespace platform::process {

bool holdsPseudoTerminalMaster(int pid) {
    if (pid <= 0) return false;
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::directory_iterator files("/proc/" + std::to_string(pid) + "/fd", ec);
    if (ec) return false;
    for (; files != fs::directory_iterator(); files.increment(ec)) {
        if (ec) return false;
        // A master opened through the multiplexer shows as the multiplexer.
        const auto target = fs::read_symlink(files->path(), ec);
        if (!ec && (target == "/dev/ptmx" || target == "/dev/pts/ptmx")) return true;
    }
    return false;
}

}  // namespace platform::process
