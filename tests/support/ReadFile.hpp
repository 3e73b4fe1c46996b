#pragma once

#include <filesystem>
#include <fstream>
#include <ios>
#include <iterator>
#include <string>

namespace parlox::testing {

// The whole content of a file; empty when it cannot be read. A read that
// fails part way (a /proc file whose process ends meanwhile) counts as
// unreadable: the stream buffer throws it whatever the stream's mask says.
inline std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    try {
        return std::string(std::istreambuf_iterator<char>(in), {});
    } catch (const std::ios_base::failure&) {
        return {};
    }
}

}  // namespace parlox::testing
