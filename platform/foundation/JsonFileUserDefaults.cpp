#include "platform/foundation/JsonFileUserDefaults.hpp"

#include <cerrno>
#include <cstring>
#include <set>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/foundation/FileManager.hpp"
#include "platform/foundation/FolderLock.hpp"
#include "platform/foundation/Paths.hpp"

namespace platform {

namespace fs = std::filesystem;

namespace {

fs::path asideName(const fs::path& file) {
    fs::path candidate = file.string() + ".bad";
    struct stat info{};
    for (int n = 2; ::lstat(candidate.c_str(), &info) == 0; ++n)
        candidate = file.string() + ".bad." + std::to_string(n);
    return candidate;
}

}  // namespace

JsonFileUserDefaults::JsonFileUserDefaults() : JsonFileUserDefaults(Paths::defaultsFile()) {}

JsonFileUserDefaults::JsonFileUserDefaults(fs::path file) : file_(std::move(file)) {}

JsonFileUserDefaults::FileStamp JsonFileUserDefaults::currentStamp() const {
    struct stat info{};
    if (::stat(file_.c_str(), &info) != 0) return FileStamp{};
    return FileStamp{true, info.st_dev, info.st_ino, info.st_size,
                     static_cast<long long>(info.st_mtim.tv_sec) * 1000000000LL +
                         info.st_mtim.tv_nsec};
}

std::optional<UserDefaults::Json> JsonFileUserDefaults::refreshLocked() const {
    const FileStamp stamp = currentStamp();
    if (loaded_ && stamp == stamp_) return std::nullopt;
    Json before = values_;
    stamp_ = stamp;
    loaded_ = true;
    corrupt_ = false;
    values_ = Json::object();
    if (!stamp.exists) return before;
    std::string text;
    try {
        // A fifo or device would block or never end: only a plain file is read.
        if (!FileManager::isRegularFile(file_)) throw FileError("read", file_, EINVAL);
        text = FileManager::readFile(file_);
    } catch (const FileError& error) {
        // Unreadable is handled like unparsable: kept aside before a write.
        corrupt_ = true;
        lastError_ = error.description();
        return before;
    }
    if (text.find_first_not_of(" \t\r\n") == std::string::npos) return before;
    Json parsed = Json::parse(text, nullptr, /*allow_exceptions=*/false);
    if (parsed.is_discarded() || !parsed.is_object()) {
        // Read as empty; the file stays as the user left it until a write
        // moves it aside.
        corrupt_ = true;
        lastError_ = file_.string() + " is not a JSON object";
        return before;
    }
    values_ = std::move(parsed);
    return before;
}

void JsonFileUserDefaults::writeLocked() {
    try {
        FileManager::createDirectories(file_.parent_path(), 0700);
        // A defaults file linked from elsewhere (kept with other dotfiles)
        // stays a link: the file it points to is set aside and replaced.
        fs::path target = file_;
        std::error_code error;
        if (fs::is_symlink(file_, error)) {
            fs::path resolved = fs::weakly_canonical(file_, error);
            if (!error) target = resolved;
        }
        if (corrupt_) {
            const fs::path aside = asideName(target);
            if (::rename(target.c_str(), aside.c_str()) != 0 && errno != ENOENT)
                throw FileError("rename", target, errno);
            corrupt_ = false;
        }
        const std::string text =
            values_.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
        FileManager::writeAtomically(target, text, 0600);
        stamp_ = currentStamp();
        lastError_.clear();
        unsaved_ = false;
    } catch (const Error& error) {
        // The value stays in memory for this process.
        lastError_ = error.description();
        unsaved_ = true;
    }
}

std::optional<UserDefaults::Json> JsonFileUserDefaults::changeLocked(std::string_view key,
                                                                     const Json* value) {
    std::optional<FolderLock> folderLock;
    if (!file_.parent_path().empty()) {
        try {
            FileManager::createDirectories(file_.parent_path(), 0700);
        } catch (const FileError&) {
            // writeLocked() reports it.
        }
        folderLock.emplace(file_.parent_path());
    }
    // Under the lock, always from the file: the stamp can miss another
    // writer's change (same size within one clock tick, a reused inode),
    // and a write built on a stale copy would drop that change.
    // (Unless the last write failed: then memory holds what the file lacks.)
    if (!unsaved_) loaded_ = false;
    refreshLocked();
    std::optional<Json> before;
    auto it = values_.find(key);
    if (it != values_.end()) before = *it;
    if (value) {
        if (before && *before == *value) return before;
        values_[std::string(key)] = *value;
    } else {
        if (!before) return before;
        values_.erase(it);
    }
    writeLocked();
    return before;
}

std::optional<UserDefaults::Json> JsonFileUserDefaults::storedValue(std::string_view key) const {
    std::lock_guard lock(mutex_);
    refreshLocked();
    auto it = values_.find(key);
    if (it == values_.end()) return std::nullopt;
    return *it;
}

UserDefaults::Json JsonFileUserDefaults::storedValues() const {
    std::lock_guard lock(mutex_);
    refreshLocked();
    return values_;
}

std::optional<UserDefaults::Json> JsonFileUserDefaults::storeValue(std::string_view key,
                                                                   const Json& value) {
    std::lock_guard lock(mutex_);
    return changeLocked(key, &value);
}

std::optional<UserDefaults::Json> JsonFileUserDefaults::eraseValue(std::string_view key) {
    std::lock_guard lock(mutex_);
    return changeLocked(key, nullptr);
}

void JsonFileUserDefaults::synchronize() {
    std::set<std::string> changed;
    {
        std::lock_guard lock(mutex_);
        loaded_ = false;
        auto before = refreshLocked();
        if (before) {
            for (auto& [key, value] : before->items()) {
                auto it = values_.find(key);
                if (it == values_.end() || *it != value) changed.insert(key);
            }
            for (auto& [key, value] : values_.items())
                if (!before->contains(key)) changed.insert(key);
        }
    }
    for (const auto& key : changed) announce(key);
}

std::string JsonFileUserDefaults::lastError() const {
    std::lock_guard lock(mutex_);
    return lastError_;
}

}  // namespace platform
