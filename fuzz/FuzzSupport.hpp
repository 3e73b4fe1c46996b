#pragma once

#include <cerrno>
#include <csignal>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include <sys/types.h>
#include <unistd.h>

#include "platform/foundation/FileManager.hpp"
#include "platform/foundation/Paths.hpp"

namespace parlox::fuzzing {

inline std::string_view bytes(const uint8_t* data, size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

// Removes the folders of runs whose process is gone: a crash or the end of a
// timed run leaves without running exit handlers.
inline void removeStaleScratchFolders(const std::filesystem::path& parent) {
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(parent, ec)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("parlox-fuzz-", 0) != 0) continue;
        const long pid = std::strtol(name.c_str() + 12, nullptr, 10);
        if (pid > 0 && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH)
            std::filesystem::remove_all(entry.path(), ec);
    }
}

// A private folder for the files a target writes, on tmpfs when there is one
// (the targets write a file per input), named after this process.
inline const std::filesystem::path& scratchFolder() {
    static const std::filesystem::path folder = [] {
        std::error_code ec;
        const std::filesystem::path shm = "/dev/shm";
        const auto parent = std::filesystem::is_directory(shm, ec) ? shm : platform::Paths::temporaryDirectory();
        removeStaleScratchFolders(parent);
        auto made = platform::FileManager::makePrivateTemporaryDirectory(
            "parlox-fuzz-" + std::to_string(::getpid()) + "-", parent);
        static const std::filesystem::path removed = made;
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(removed, ignored);
        });
        return made;
    }();
    return folder;
}

// Plain, unsynchronised write: the files live for one input.
inline void writeFile(const std::filesystem::path& path, std::string_view contents) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(contents.data(), static_cast<std::streamsize>(contents.size()));
    if (!out) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        std::abort();
    }
}

// An input made of several files: the parts between lines holding only
// "%%". Missing parts are empty.
inline std::vector<std::string_view> sections(std::string_view input, size_t count) {
    static constexpr std::string_view separator = "\n%%\n";
    std::vector<std::string_view> parts;
    while (parts.size() + 1 < count) {
        const size_t at = input.find(separator);
        if (at == std::string_view::npos) break;
        parts.push_back(input.substr(0, at));
        input.remove_prefix(at + separator.size());
    }
    parts.push_back(input);
    parts.resize(count);
    return parts;
}

// A broken promise of the code under test: reported like a crash, so the
// fuzzer keeps the input.
[[noreturn]] inline void violated(const std::string& what) {
    std::fprintf(stderr, "fuzz check failed: %s\n", what.c_str());
    std::fflush(stderr);
    std::abort();
}

}  // namespace parlox::fuzzing
