#include "platform/process/ExecutableSearch.hpp"

#include <cstdlib>

#include "platform/foundation/FileManager.hpp"

namespace platform::process {

std::optional<std::filesystem::path> findExecutable(const std::string& name, const std::string& searchPath) {
    std::size_t start = 0;
    while (start <= searchPath.size()) {
        std::size_t end = searchPath.find(':', start);
        if (end == std::string::npos) end = searchPath.size();
        const std::string folder = searchPath.substr(start, end - start);
        if (!folder.empty()) {
            const std::filesystem::path candidate = std::filesystem::path(folder) / name;
            if (FileManager::isExecutableFile(candidate)) return candidate;
        }
        start = end + 1;
    }
    return std::nullopt;
}

std::string executableSearchPath() {
    const char* path = std::getenv("PATH");
    return path ? path : "/usr/local/bin:/usr/bin:/bin";
}

std::optional<std::filesystem::path> findExecutable(const std::string& name) {
    if (name.empty()) return std::nullopt;
    if (name.find('/') != std::string::npos) {
        if (FileManager::isExecutableFile(name)) return std::filesystem::path(name);
        return std::nullopt;
    }
    return findExecutable(name, executableSearchPath());
}

}  // namespace platform::process
