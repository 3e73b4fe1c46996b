#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace parlox::testing {

// The whole content of a file; empty when it cannot be read.
inline std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace parlox::testing
