#include "ZezeziCore/External/Hub/Extensions/HostExtensions.hpp"

#include <sys/utsname.h>

#include <cstdlib>
#include <fstream>

#include "platform/foundation/Trim.hpp"

namespace ZezeziCore {

namespace fs = std::filesystem;

namespace {

std::string trim(std::string_view s) { return platform::trimmingAscii(s, platform::kAsciiWhitespace); }

std::string cpuinfoField(const fs::path& root, const std::string& key) {
    std::ifstream in(root / "proc/cpuinfo");
    for (std::string line; std::getline(in, line);) {
        auto colon = line.find(':');
        if (colon == std::string::npos) continue;
        if (trim(line.substr(0, colon)) == key) return trim(line.substr(colon + 1));
    }
    return "";
}

}  // namespace

std::string resolveAbsolutePath(const std::string& path) {
    std::string expanded = path;
    if (!expanded.empty() && expanded[0] == '~' && (expanded.size() == 1 || expanded[1] == '/')) {
        const char* home = std::getenv("HOME");
        expanded = std::string(home ? home : "") + expanded.substr(1);
    }
    if (!expanded.empty() && expanded[0] == '/') return expanded;
    return (fs::current_path() / expanded).string();
}

std::string stringFromSysctl(const std::string& name, const fs::path& root) {
    if (name == "hw.model") {
        std::ifstream in(root / "sys/devices/virtual/dmi/id/product_name");
        std::string model;
        std::getline(in, model);
        model = trim(model);
        if (!model.empty()) return model;
        utsname u{};
        return ::uname(&u) == 0 ? std::string(u.machine) : "";
    }
    if (name == "machdep.cpu.brand_string") return cpuinfoField(root, "model name");
    if (name == "machdep.cpu.vendor") return cpuinfoField(root, "vendor_id");
    if (name == "machdep.cpu.family") return cpuinfoField(root, "cpu family");
    if (name == "machdep.cpu.core_count") return cpuinfoField(root, "cpu cores");
    if (name == "machdep.cpu.thread_count") return cpuinfoField(root, "siblings");
    return "";
}

const std::string& ProcessInfo::hwModel() {
    static const std::string v = stringFromSysctl("hw.model");
    return v;
}
const std::string& ProcessInfo::processor() {
    static const std::string v = stringFromSysctl("machdep.cpu.brand_string");
    return v;
}
const std::string& ProcessInfo::cores() {
    static const std::string v = stringFromSysctl("machdep.cpu.core_count");
    return v;
}
const std::string& ProcessInfo::threads() {
    static const std::string v = stringFromSysctl("machdep.cpu.thread_count");
    return v;
}
const std::string& ProcessInfo::vendor() {
    static const std::string v = stringFromSysctl("machdep.cpu.vendor");
    return v;
}
const std::string& ProcessInfo::family() {
    static const std::string v = stringFromSysctl("machdep.cpu.family");
    return v;
}

}  // namespace ZezeziCore
