#pragma once

#include <filesystem>
#include <string>

namespace ZezeziCore {

// A leading "~" becomes the home folder; a relative path is taken from the
// current directory. "." and ".." are left as they are.
std::string resolveAbsolutePath(const std::string& path);

// Host facts by their system information names ("hw.model",
// "machdep.cpu.brand_string", "machdep.cpu.core_count",
// "machdep.cpu.thread_count", "machdep.cpu.vendor", "machdep.cpu.family"),
// read from /sys and /proc under `root`. An unknown name gives "".
std::string stringFromSysctl(const std::string& name, const std::filesystem::path& root = "/");

// Each read once per process.
struct ProcessInfo {
    static const std::string& hwModel();
    static const std::string& processor();
    static const std::string& cores();
    static const std::string& threads();
    static const std::string& vendor();
    static const std::string& family();
};

}  // namespace ZezeziCore
