#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <sys/types.h>

#include "platform/foundation/Error.hpp"

namespace platform {

// A file operation that failed: what was tried, on which path, and errno.
class FileError : public Error {
public:
    FileError(std::string operation, std::filesystem::path path, int errorNumber);

    const std::string& operation() const { return operation_; }
    const std::filesystem::path& path() const { return path_; }
    int errorNumber() const { return errorNumber_; }

    std::string description() const override;
    std::string localizedDescription() const override;

private:
    std::string operation_;
    std::filesystem::path path_;
    int errorNumber_;
};

struct FileManager {
    // A new folder "<prefix>XXXXXX" (random suffix) inside `parent`
    // (Paths::temporaryDirectory() when empty), mode 0700. The folder is
    // always new, never an existing one or a link. Throws FileError.
    static std::filesystem::path makePrivateTemporaryDirectory(
        std::string_view prefix, const std::filesystem::path& parent = {});

    // Makes sure `path` is a real folder owned by this user with mode
    // `mode`, creating the missing parents (0700) and itself. Refuses (throws
    // FileError with ELOOP or ENOTDIR) a link or a non-folder in its place,
    // and (EPERM) a folder owned by someone else.
    static void createPrivateDirectory(const std::filesystem::path& path, mode_t mode = 0700);

    // Creates missing folders like `mkdir -p`, each new one with `mode`.
    static void createDirectories(const std::filesystem::path& path, mode_t mode = 0755);

    // Writes `contents` to a new temp file beside `path`, flushes it and
    // renames it over `path`: a reader sees the old or the new file, never
    // a part. A link at `path` is replaced, not followed. Throws FileError.
    static void writeAtomically(const std::filesystem::path& path, std::string_view contents,
                                mode_t mode = 0644);

    // Creates `path` (which must not exist yet, not even as a link) and
    // writes `contents`. Throws FileError (EEXIST when something is there).
    static void writeNewFile(const std::filesystem::path& path, std::string_view contents,
                             mode_t mode = 0600);

    // Appends to `path`, creating it with `mode` when missing.
    static void append(const std::filesystem::path& path, std::string_view contents,
                       mode_t mode = 0644);

    // The whole file; throws FileError.
    static std::string readFile(const std::filesystem::path& path);

    // Removes a file or a folder tree; a link is removed, not followed.
    // Missing is not an error. Returns whether something was removed.
    static bool removeItem(const std::filesystem::path& path) noexcept;

    // These follow links, like the usual questions about a path.
    static bool fileExists(const std::filesystem::path& path) noexcept;
    static bool isDirectory(const std::filesystem::path& path) noexcept;
    static bool isRegularFile(const std::filesystem::path& path) noexcept;
    static bool isExecutableFile(const std::filesystem::path& path) noexcept;
};

}  // namespace platform
