#pragma once

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

#include "platform/foundation/FileManager.hpp"

namespace parlox::fuzzing {

inline std::string_view bytes(const uint8_t* data, size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

// A private folder for the files a target writes, on tmpfs when there is one
// (the targets write a file per input), removed when the process exits.
inline const std::filesystem::path& scratchFolder() {
    static const std::filesystem::path folder = [] {
        std::error_code ec;
        const std::filesystem::path shm = "/dev/shm";
        auto made = platform::FileManager::makePrivateTemporaryDirectory(
            "parlox-fuzz-", std::filesystem::is_directory(shm, ec) ? shm : std::filesystem::path());
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
