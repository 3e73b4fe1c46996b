#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>

#include "platform/foundation/FileManager.hpp"

namespace parlox::testing {

// A private (0700) temporary folder for one test, removed with everything
// in it when the object goes. Links inside are removed, never followed.
class TemporaryFolder {
public:
    explicit TemporaryFolder(std::string_view prefix = "parlox-test-")
        : path_(platform::FileManager::makePrivateTemporaryDirectory(prefix)) {}
    ~TemporaryFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::filesystem::path& relative) const {
        return path_ / relative;
    }

    // Writes `contents` to `relative` inside the folder (making its parent
    // folders) and returns the full path. Replaces a file already there.
    std::filesystem::path writeFile(const std::filesystem::path& relative,
                                    std::string_view contents) const {
        if (relative.is_absolute()) throw std::invalid_argument("writeFile wants a relative path");
        const std::filesystem::path file = path_ / relative;
        std::filesystem::create_directories(file.parent_path());
        platform::FileManager::writeAtomically(file, contents, 0600);
        return file;
    }

private:
    std::filesystem::path path_;
};

}  // namespace parlox::testing
