#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace ParloxCore {

// A private folder for one request, "<prefix><UUID>" in the user's temporary
// area, mode 0700, removed with its contents when the object goes.
class RequestFolder {
public:
    // Throws platform::FileError when the folder cannot be made.
    explicit RequestFolder(std::string_view prefix);
    ~RequestFolder();
    RequestFolder(const RequestFolder&) = delete;
    RequestFolder& operator=(const RequestFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(std::string_view name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

// Reading what a tool wrote. Missing or unreadable files read as "".
struct ToolOutput {
    // The file's bytes, with ill-formed UTF-8 repaired so nothing in it is lost to the classifiers.
    static std::string readLog(const std::filesystem::path& file, bool* wasRepaired = nullptr);
    // The file's text; nullopt when it is not valid UTF-8.
    static std::optional<std::string> readText(const std::filesystem::path& file);
    // True when the path names an executable regular file.
    static bool isExecutableFile(const std::filesystem::path& path);
    // Whole seconds, truncated toward zero, for the time-out texts.
    static std::string wholeSeconds(double seconds);
    // The first `count` user-perceived characters.
    static std::string prefixCharacters(std::string_view text, std::size_t count);
};

}  // namespace ParloxCore
