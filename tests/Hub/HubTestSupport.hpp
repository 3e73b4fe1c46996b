#pragma once

#include <chrono>
#include <fstream>

#include "LoopbackHub.hpp"
#include "ZezeziCore/External/Hub/HubApi.hpp"

namespace hubtest {

inline Hub::HubApi makeApi(const LoopbackHub& hub, const std::filesystem::path& base) {
    Hub::HubApi api;
    api.downloadBase = base;
    api.endpoint = hub.endpoint();
    api.useOfflineMode = false;
    api.downloadChunkSize = 64 * 1024;
    api.downloadRetryDelay = std::chrono::milliseconds(10);
    return api;
}

inline std::vector<std::string> readLines(const std::filesystem::path& p) {
    std::ifstream in(p);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// Every regular file under a folder, hidden ones included.
inline std::vector<std::filesystem::path> allFiles(const std::filesystem::path& folder) {
    std::vector<std::filesystem::path> out;
    if (!std::filesystem::exists(folder)) return out;
    for (auto& e : std::filesystem::recursive_directory_iterator(folder))
        if (e.is_regular_file()) out.push_back(e.path());
    std::sort(out.begin(), out.end());
    return out;
}

}  // namespace hubtest
