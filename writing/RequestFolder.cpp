#include "writing/RequestFolder.hpp"

#include <cmath>
#include <limits>

#include "platform/foundation/FileManager.hpp"
#include "platform/foundation/NumberFormat.hpp"
#include "platform/foundation/Paths.hpp"
#include "platform/foundation/UUID.hpp"
#include "platform/foundation/Unicode.hpp"

namespace ParloxCore {

RequestFolder::RequestFolder(std::string_view prefix)
    : path_(platform::Paths::temporaryDirectory() / (std::string(prefix) + platform::UUID().uuidString())) {
    platform::FileManager::createPrivateDirectory(path_, 0700);
}

RequestFolder::~RequestFolder() { platform::FileManager::removeItem(path_); }

std::string ToolOutput::readLog(const std::filesystem::path& file, bool* wasRepaired) {
    std::string bytes;
    try {
        bytes = platform::FileManager::readFile(file);
    } catch (...) {
        bytes.clear();
    }
    bool valid = platform::isValidUtf8(bytes);
    if (wasRepaired) *wasRepaired = !valid;
    return valid ? bytes : platform::repairUtf8(bytes);
}

std::optional<std::string> ToolOutput::readText(const std::filesystem::path& file) {
    std::string bytes;
    try {
        bytes = platform::FileManager::readFile(file);
    } catch (...) {
        return std::string();
    }
    if (!platform::isValidUtf8(bytes)) return std::nullopt;
    return bytes;
}

bool ToolOutput::isExecutableFile(const std::filesystem::path& path) {
    return platform::FileManager::isRegularFile(path) && platform::FileManager::isExecutableFile(path);
}

std::string ToolOutput::wholeSeconds(double seconds) {
    double whole = std::trunc(seconds);
    if (std::isnan(whole)) return "0";
    // Out-of-range values would be undefined as integers; clamp them.
    constexpr double limit = 9.0e18;
    if (whole > limit) whole = limit;
    if (whole < -limit) whole = -limit;
    return platform::formatInteger(static_cast<int64_t>(whole));
}

std::string ToolOutput::prefixCharacters(std::string_view text, std::size_t count) {
    return platform::graphemePrefix(text, count);
}

}  // namespace ParloxCore
