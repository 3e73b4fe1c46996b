#include "platform/foundation/FileManager.hpp"

#include <cerrno>
#include <cstring>
#include <system_error>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/foundation/Paths.hpp"
#include "platform/foundation/UniqueFd.hpp"

namespace platform {

namespace fs = std::filesystem;

FileError::FileError(std::string operation, fs::path path, int errorNumber)
    : operation_(std::move(operation)), path_(std::move(path)), errorNumber_(errorNumber) {}

std::string FileError::description() const {
    return operation_ + " " + path_.string() + ": " + std::strerror(errorNumber_);
}

std::string FileError::localizedDescription() const {
    return "No se pudo acceder a " + path_.string() + " (" + std::strerror(errorNumber_) + ")";
}

namespace {

[[noreturn]] void fail(const char* operation, const fs::path& path, int error = errno) {
    throw FileError(operation, path, error);
}

void writeAll(int fd, std::string_view contents, const fs::path& path) {
    const char* data = contents.data();
    size_t left = contents.size();
    while (left > 0) {
        ssize_t written = ::write(fd, data, left);
        if (written < 0) {
            if (errno == EINTR) continue;
            fail("write", path);
        }
        data += written;
        left -= static_cast<size_t>(written);
    }
}

fs::path parentOf(const fs::path& path) {
    fs::path parent = path.parent_path();
    return parent.empty() ? fs::path(".") : parent;
}

}  // namespace

fs::path FileManager::makePrivateTemporaryDirectory(std::string_view prefix, const fs::path& parent) {
    if (prefix.find('/') != std::string_view::npos) fail("mkdtemp", fs::path(prefix), EINVAL);
    fs::path base = parent.empty() ? Paths::temporaryDirectory() : parent;
    std::string pattern = (base / (std::string(prefix) + "XXXXXX")).string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    // mkdtemp makes a new folder with mode 0700 and fails on anything
    // already there, links included.
    if (!::mkdtemp(buffer.data())) fail("mkdtemp", base);
    // A tight umask may have left it without our own bits; it is new and
    // ours, so setting them cannot touch anything else.
    if (::chmod(buffer.data(), 0700) != 0) {
        const int error = errno;
        ::rmdir(buffer.data());
        fail("chmod", fs::path(buffer.data()), error);
    }
    return fs::path(buffer.data());
}

void FileManager::createDirectories(const fs::path& path, mode_t mode) {
    if (path.empty()) return;
    fs::path current;
    for (const auto& part : path) {
        current /= part;
        if (part == "/" || part.empty()) continue;
        if (::mkdir(current.c_str(), mode) == 0) {
            ::chmod(current.c_str(), mode);  // the umask may have taken bits away
            continue;
        }
        if (errno != EEXIST) fail("mkdir", current);
        struct stat info{};
        if (::stat(current.c_str(), &info) != 0) fail("stat", current);
        if (!S_ISDIR(info.st_mode)) fail("mkdir", current, ENOTDIR);
    }
}

void FileManager::createPrivateDirectory(const fs::path& path, mode_t mode) {
    fs::path parent = path.parent_path();
    if (!parent.empty()) createDirectories(parent, 0700);
    if (::mkdir(path.c_str(), mode) != 0 && errno != EEXIST) fail("mkdir", path);
    // Whether new or old, it must be our own real folder; opening it
    // without following links settles that on the object itself.
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!fd) {
        int error = errno;
        struct stat info{};
        if (::lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) fail("mkdir", path, ELOOP);
        fail("mkdir", path, error);
    }
    struct stat info{};
    if (::fstat(fd.get(), &info) != 0) fail("stat", path);
    if (info.st_uid != ::geteuid()) fail("mkdir", path, EPERM);
    if ((info.st_mode & 07777) != mode && ::fchmod(fd.get(), mode) != 0) fail("chmod", path);
}

void FileManager::writeAtomically(const fs::path& path, std::string_view contents, mode_t mode) {
    const fs::path directory = parentOf(path);
    std::string name(".");
    name.append(path.filename().string()).append(".tmp-XXXXXX");
    std::string pattern = (directory / name).string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    UniqueFd fd(::mkostemp(buffer.data(), O_CLOEXEC));
    if (!fd) fail("create", path);
    const fs::path temporary(buffer.data());
    try {
        if (::fchmod(fd.get(), mode) != 0) fail("chmod", temporary);
        writeAll(fd.get(), contents, temporary);
        if (::fsync(fd.get()) != 0) fail("fsync", temporary);
        if (const int error = fd.close()) fail("close", temporary, error);
        if (::rename(temporary.c_str(), path.c_str()) != 0) fail("rename", path);
    } catch (...) {
        ::unlink(temporary.c_str());
        throw;
    }
    UniqueFd dir(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir) ::fsync(dir.get());
}

void FileManager::writeNewFile(const fs::path& path, std::string_view contents, mode_t mode) {
    UniqueFd fd(
        ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
    if (!fd) fail("create", path);
    try {
        if (::fchmod(fd.get(), mode) != 0) fail("chmod", path);
        writeAll(fd.get(), contents, path);
    } catch (...) {
        ::unlink(path.c_str());
        throw;
    }
}

void FileManager::append(const fs::path& path, std::string_view contents, mode_t mode) {
    UniqueFd fd(::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, mode));
    if (!fd) fail("open", path);
    writeAll(fd.get(), contents, path);
}

std::string FileManager::readFile(const fs::path& path) {
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd) fail("open", path);
    std::string contents;
    char buffer[65536];
    while (true) {
        ssize_t got = ::read(fd.get(), buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR) continue;
            fail("read", path);
        }
        if (got == 0) break;
        contents.append(buffer, static_cast<size_t>(got));
    }
    return contents;
}

bool FileManager::removeItem(const fs::path& path) noexcept {
    std::error_code error;
    auto removed = fs::remove_all(path, error);
    return !error && removed > 0 && removed != static_cast<std::uintmax_t>(-1);
}

bool FileManager::fileExists(const fs::path& path) noexcept {
    struct stat info{};
    return ::stat(path.c_str(), &info) == 0;
}

bool FileManager::isDirectory(const fs::path& path) noexcept {
    struct stat info{};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool FileManager::isRegularFile(const fs::path& path) noexcept {
    struct stat info{};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool FileManager::isExecutableFile(const fs::path& path) noexcept {
    struct stat info{};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && (info.st_mode & 0111) &&
           ::access(path.c_str(), X_OK) == 0;
}

}  // namespace platform
