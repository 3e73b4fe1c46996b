#pragma once

#include <filesystem>
#include <mutex>
#include <string>

#include <sys/types.h>

#include "platform/foundation/UserDefaults.hpp"

namespace platform {

// User defaults kept in one JSON object in a file a user may edit by hand.
// Every read checks the file and picks up outside edits. Every write
// re-reads, changes the one key and replaces the file atomically (temp file
// and rename, mode 0600), holding a lock on the folder so two processes do
// not lose each other's writes. When the file is a link, the file it points
// to is the one replaced. A file that is not a JSON object (or not a plain
// file) reads as empty; it is left alone until the next write, which first
// moves it aside as "<name>.bad" (or "<name>.bad.2", ...) beside the file
// replaced, so nothing the user wrote is lost. A write that cannot reach
// the disk keeps the value in memory.
class JsonFileUserDefaults : public UserDefaults {
public:
    // Paths::defaultsFile().
    JsonFileUserDefaults();
    explicit JsonFileUserDefaults(std::filesystem::path file);

    const std::filesystem::path& file() const { return file_; }

    // Re-reads the file now and announces every key whose value changed.
    void synchronize();

    // The last failed write or unreadable file, empty when all went well.
    std::string lastError() const;

protected:
    std::optional<Json> storedValue(std::string_view key) const override;
    Json storedValues() const override;
    std::optional<Json> storeValue(std::string_view key, const Json& value) override;
    std::optional<Json> eraseValue(std::string_view key) override;

private:
    struct FileStamp {
        bool exists = false;
        dev_t device = 0;
        ino_t inode = 0;
        off_t size = 0;
        long long modifiedNanoseconds = 0;
        bool operator==(const FileStamp&) const = default;
    };

    FileStamp currentStamp() const;
    // Reloads when the file changed since it was last read; returns the
    // values before a reload (nullopt when nothing was reloaded).
    std::optional<Json> refreshLocked() const;
    void writeLocked();
    std::optional<Json> changeLocked(std::string_view key, const Json* value);

    std::filesystem::path file_;
    mutable std::mutex mutex_;
    mutable Json values_ = Json::object();
    mutable FileStamp stamp_;
    mutable bool loaded_ = false;
    mutable bool corrupt_ = false;
    mutable std::string lastError_;
    bool unsaved_ = false;  // the last write did not reach the file
};

}  // namespace platform
