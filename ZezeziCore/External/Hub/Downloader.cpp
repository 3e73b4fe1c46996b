#include "ZezeziCore/External/Hub/Downloader.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <functional>
#include <thread>
#include <condition_variable>
#include <string>
#include <system_error>
#include <vector>

#include "ZezeziCore/External/Hub/HubClientError.hpp"
#include "platform/foundation/UniqueFd.hpp"

namespace Hub {

namespace fs = std::filesystem;
using platform::net::HttpRequest;
using platform::net::HttpResponse;
using platform::net::UrlError;

namespace {

[[noreturn]] void throwFileError(const char* what, const fs::path& path) {
    throw fs::filesystem_error(what, path, std::error_code(errno, std::generic_category()));
}

void writeAll(int fd, const char* data, size_t size, const fs::path& path) {
    while (size > 0) {
        ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            throwFileError("cannot write partial file", path);
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
}

void truncateToZero(int fd, const fs::path& path) {
    if (::ftruncate(fd, 0) != 0 || ::lseek(fd, 0, SEEK_SET) < 0) throwFileError("cannot reset partial file", path);
}

std::optional<int64_t> rangeStart(const std::string& contentRange) {
    // "bytes <start>-<end>/<total>"
    auto sp = contentRange.find(' ');
    if (sp == std::string::npos) return std::nullopt;
    auto dash = contentRange.find('-', sp);
    if (dash == std::string::npos) return std::nullopt;
    try {
        return std::stoll(contentRange.substr(sp + 1, dash - sp - 1));
    } catch (...) {
        return std::nullopt;
    }
}

// Thrown from the head handler when a 416 shows the partial file is already whole.
struct AlreadyComplete {};

}  // namespace

// The SHA-256 of the partial file's bytes: `running` covers every byte
// written, `committed` those up to the last whole chunk, where a broken
// body resumes.
struct Downloader::BodyHash {
    platform::net::Sha256 running;
    platform::net::Sha256 committed;

    void commit() { committed = running; }
    void rollBack() { running = committed; }
    void restart() {
        running = platform::net::Sha256();
        committed = running;
    }
    // The first `size` bytes of the file, read back once when resuming.
    void addPrefix(int fd, int64_t size, const fs::path& path) {
        std::vector<char> block(1 << 20);
        for (int64_t at = 0; at < size;) {
            const size_t want = static_cast<size_t>(std::min<int64_t>(size - at, static_cast<int64_t>(block.size())));
            const ssize_t n = ::pread(fd, block.data(), want, static_cast<off_t>(at));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) throwFileError("cannot read partial file", path);
            running.update(block.data(), static_cast<size_t>(n));
            at += n;
        }
        commit();
    }
};

std::string Downloader::DownloadError::description() const {
    std::string text;
    switch (kind_) {
        case Kind::invalidDownloadLocation: text = "Invalid download location"; break;
        case Kind::unexpectedError: text = "Unexpected download error"; break;
        case Kind::tempFileNotFound: text = "Temporary file not found"; break;
        case Kind::hashMismatch: text = "Downloaded file does not match its SHA-256"; break;
    }
    if (!detail_.empty()) text += ": " + detail_;
    return text;
}

Downloader::Downloader(fs::path destination, fs::path incompleteDestination, bool inBackground, int64_t chunkSize,
                       std::shared_ptr<const platform::net::HttpClient> http)
    : destination_(std::move(destination)),
      incompleteDestination_(std::move(incompleteDestination)),
      inBackground_(inBackground),
      chunkSize_(chunkSize > 0 ? chunkSize : defaultChunkSize),
      http_(std::move(http)),
      broadcaster_([] { return std::optional<DownloadState>(DownloadState::notStarted()); }) {}

Downloader::~Downloader() {
    std::jthread task;
    {
        std::lock_guard lock(taskMutex_);
        task = std::move(task_);
    }
    if (task.joinable()) {
        task.request_stop();
        task.join();
    }
    broadcaster_.finishAll();
}

int64_t Downloader::incompleteFileSize(const fs::path& file) {
    std::error_code ec;
    auto size = fs::file_size(file, ec);
    if (ec) return 0;
    return static_cast<int64_t>(size);
}

std::shared_ptr<Subscription<Downloader::DownloadState>> Downloader::download(
    const platform::net::Url& from, std::optional<std::string> authToken, std::optional<int64_t> expectedSize,
    platform::net::HttpHeaders headers, double timeout, int numRetries) {
    // A second call replaces the first transfer; wait for it so that two
    // writers never share the partial file.
    std::jthread previous;
    {
        std::lock_guard lock(taskMutex_);
        previous = std::move(task_);
    }
    if (previous.joinable()) {
        previous.request_stop();
        previous.join();
    }
    {
        std::lock_guard lock(stateMutex_);
        expectedSize_ = expectedSize;
    }
    int64_t resumeSize = incompleteFileSize(incompleteDestination_);
    auto subscription = broadcaster_.subscribe();
    std::lock_guard lock(taskMutex_);
    task_ = std::jthread([this, from, authToken, resumeSize, headers, timeout, numRetries](std::stop_token stop) {
        setUpDownload(from, authToken, resumeSize, headers, timeout, numRetries, stop);
    });
    return subscription;
}

void Downloader::cancel() {
    {
        std::lock_guard lock(taskMutex_);
        if (task_.joinable()) task_.request_stop();
    }
    publish(DownloadState::failed(std::make_exception_ptr(UrlError(UrlError::Code::cancelled))));
}

void Downloader::setUpDownload(const platform::net::Url& from, std::optional<std::string> token, int64_t resumeSize,
                               platform::net::HttpHeaders headers, double timeout, int numRetries,
                               std::stop_token stop) {
    platform::UniqueFd fd;
    try {
        std::optional<int64_t> expected;
        {
            std::lock_guard lock(stateMutex_);
            expected = expectedSize_;
        }
        fd.reset(::open(incompleteDestination_.c_str(), (expectedSha256_ ? O_RDWR : O_WRONLY) | O_CLOEXEC));
        if (!fd) throwFileError("cannot open partial file", incompleteDestination_);

        // A partial file longer than the file cannot be trusted: start over.
        if (expected && resumeSize > *expected) {
            truncateToZero(fd.get(), incompleteDestination_);
            resumeSize = 0;
        }
        {
            std::lock_guard lock(stateMutex_);
            downloadedSize_ = resumeSize;
        }
        std::optional<BodyHash> hash;
        if (expectedSha256_) {
            hash.emplace();
            hash->addPrefix(fd.get(), resumeSize, incompleteDestination_);
        }
        double first = (resumeSize > 0 && expected && *expected >= 1)
                           ? static_cast<double>(resumeSize) / static_cast<double>(*expected)
                           : 0.0;
        publish(DownloadState::downloading(first, std::nullopt));

        bool whole = expected && *expected > 0 && resumeSize == *expected;
        if (!whole) {
            HttpRequest request;
            request.method = "GET";
            request.url = from;
            request.headers = headers;
            request.bearerToken = token;
            request.idleTimeout = timeout;
            if (resumeSize > 0) {
                if (::lseek(fd.get(), 0, SEEK_END) < 0) throwFileError("cannot seek partial file", incompleteDestination_);
            }
            httpGet(request, fd.get(), numRetries, hash ? &*hash : nullptr, stop);
        }
        if (stop.stop_requested()) throw CancellationError();
        if (hash) verify(*hash);
        moveDownloadedFile();
        publish(DownloadState::completed(destination_));
    } catch (...) {
        fd.reset();  // closed before anyone learns of the failure
        publish(DownloadState::failed(std::current_exception()));
    }
}

void Downloader::verify(BodyHash& hash) {
    const std::string digest = hash.running.finishHex();
    if (digest == *expectedSha256_) return;
    // A wrong body must not be resumed from either.
    std::error_code ignored;
    fs::remove(incompleteDestination_, ignored);
    throw DownloadError(DownloadError::Kind::hashMismatch,
                        "expected " + *expectedSha256_ + ", received " + digest);
}

void Downloader::httpGet(const HttpRequest& baseRequest, int fd, int numRetries, BodyHash* hash,
                         std::stop_token stop) {
    int budget = numRetries;
    std::optional<int64_t> expected;
    {
        std::lock_guard lock(stateMutex_);
        expected = expectedSize_;
    }
    for (;;) {
        int64_t start;
        {
            std::lock_guard lock(stateMutex_);
            start = downloadedSize_;
        }
        HttpRequest request = baseRequest;
        if (start > 0) request.headers.set("Range", "bytes=" + std::to_string(start) + "-");

        bool headSeen = false;
        auto lastTime = std::chrono::steady_clock::now();
        int64_t lastBytes = start;
        // Bytes of this attempt on disk that do not yet make a whole chunk.
        // They are written as they arrive (while still in the CPU's cache)
        // but counted only chunk by chunk.
        int64_t pending = 0;

        auto onHead = [&](const HttpResponse& head) {
            headSeen = true;
            if (head.status == 416 && start > 0) {
                // The range starts at or after the end: fine only if the
                // partial file already is the whole file.
                if (expected && start == *expected) throw AlreadyComplete{};
                truncateToZero(fd, incompleteDestination_);
                if (hash) hash->restart();
                std::lock_guard lock(stateMutex_);
                downloadedSize_ = 0;
                throw DownloadError(DownloadError::Kind::unexpectedError, "HTTP status 416");
            }
            if (head.status < 200 || head.status > 299)
                throw DownloadError(DownloadError::Kind::unexpectedError, "HTTP status " + std::to_string(head.status));
            if (start > 0 && head.status == 200) {
                // The server sent the whole file: rewrite from the first byte.
                truncateToZero(fd, incompleteDestination_);
                if (hash) hash->restart();
                std::lock_guard lock(stateMutex_);
                downloadedSize_ = 0;
                lastBytes = 0;
            } else if (start > 0 && head.status == 206) {
                auto range = head.headers.value("Content-Range");
                if (range && rangeStart(*range) != start)
                    throw DownloadError(DownloadError::Kind::unexpectedError, "Content-Range does not match the request");
            }
        };
        auto onData = [&](const char* data, size_t size) {
            writeAll(fd, data, size, incompleteDestination_);
            // Hashed up to each chunk boundary, where the hash is committed.
            for (size_t used = 0; used < size;) {
                const size_t take = static_cast<size_t>(std::min<int64_t>(chunkSize_ - pending, static_cast<int64_t>(size - used)));
                if (hash) hash->running.update(data + used, take);
                used += take;
                pending += static_cast<int64_t>(take);
                if (pending < chunkSize_) break;
                pending = 0;
                if (hash) hash->commit();
                int64_t done;
                {
                    std::lock_guard lock(stateMutex_);
                    downloadedSize_ += chunkSize_;
                    done = downloadedSize_;
                }
                budget = 5;
                if (expected) {
                    double progress = *expected == 0 ? 0.0 : static_cast<double>(done) / static_cast<double>(*expected);
                    auto now = std::chrono::steady_clock::now();
                    double elapsed = std::chrono::duration<double>(now - lastTime).count();
                    std::optional<double> speed;
                    if (elapsed > 0) speed = static_cast<double>(done - lastBytes) / elapsed;
                    publish(DownloadState::downloading(progress, speed));
                    lastTime = now;
                    lastBytes = done;
                }
            }
        };

        try {
            http_->stream(request, onHead, onData, stop);
        } catch (const AlreadyComplete&) {
            pending = 0;
        } catch (const UrlError& error) {
            if (!headSeen || error.code() == UrlError::Code::cancelled || budget <= 0) throw;
            // Broken body: forget the bytes after the last whole chunk and
            // ask again from there.
            int64_t keep;
            {
                std::lock_guard lock(stateMutex_);
                keep = downloadedSize_;
            }
            if (::ftruncate(fd, keep) != 0 || ::lseek(fd, 0, SEEK_END) < 0)
                throwFileError("cannot reset partial file", incompleteDestination_);
            if (hash) hash->rollBack();
            std::mutex m;
            std::unique_lock lock(m);
            std::condition_variable_any cv;
            if (cv.wait_for(lock, stop, retryDelay_, [] { return false; }), stop.stop_requested())
                throw CancellationError();
            --budget;
            continue;
        }
        {
            std::lock_guard lock(stateMutex_);
            downloadedSize_ += pending;
        }

        off_t size = ::lseek(fd, 0, SEEK_END);
        if (size < 0) throwFileError("cannot seek partial file", incompleteDestination_);
        if (expected && size != *expected) {
            if (size > *expected) {
                truncateToZero(fd, incompleteDestination_);
                if (hash) hash->restart();
            }
            throw DownloadError(DownloadError::Kind::unexpectedError,
                                "received " + std::to_string(size) + " of " + std::to_string(*expected) + " bytes");
        }
        return;
    }
}

void Downloader::moveDownloadedFile() {
    if (destination_.has_parent_path()) fs::create_directories(destination_.parent_path());
    // rename replaces an older file in one step.
    fs::rename(incompleteDestination_, destination_);
}

}  // namespace Hub
