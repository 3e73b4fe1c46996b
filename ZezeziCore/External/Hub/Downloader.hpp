#pragma once

#include <chrono>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <thread>

#include "ZezeziCore/External/Hub/Broadcaster.hpp"
#include "platform/foundation/Error.hpp"
#include "platform/net/HttpClient.hpp"
#include "platform/net/Sha256.hpp"

namespace Hub {

// Fetches one remote file into a partial file, resuming from its size with a
// Range request, and moves it into place once complete and of the expected size.
class Downloader {
public:
    static constexpr int64_t defaultChunkSize = 10'485'760;

    struct DownloadState {
        enum class Kind { notStarted, downloading, completed, failed };
        Kind kind = Kind::notStarted;
        double fraction = 0;                 // downloading
        std::optional<double> speed;         // downloading, bytes per second
        std::filesystem::path location;      // completed
        std::exception_ptr error;            // failed

        static DownloadState notStarted() { return {}; }
        static DownloadState downloading(double fraction, std::optional<double> speed) {
            return {Kind::downloading, fraction, speed, {}, nullptr};
        }
        static DownloadState completed(std::filesystem::path location) {
            return {Kind::completed, 0, std::nullopt, std::move(location), nullptr};
        }
        static DownloadState failed(std::exception_ptr error) {
            return {Kind::failed, 0, std::nullopt, {}, std::move(error)};
        }
    };

    class DownloadError : public platform::Error {
    public:
        // hashMismatch: the whole body arrived but its SHA-256 is not the
        // expected one; the partial file is deleted.
        enum class Kind { invalidDownloadLocation, unexpectedError, tempFileNotFound, hashMismatch };
        explicit DownloadError(Kind kind, std::string detail = {}) : kind_(kind), detail_(std::move(detail)) {}
        Kind kind() const { return kind_; }
        const std::string& detail() const { return detail_; }
        bool operator==(const DownloadError& other) const { return kind_ == other.kind_; }
        std::string description() const override;

    private:
        Kind kind_;
        std::string detail_;
    };

    Downloader(std::filesystem::path destination, std::filesystem::path incompleteDestination,
               bool inBackground = false, int64_t chunkSize = defaultChunkSize,
               std::shared_ptr<const platform::net::HttpClient> http = platform::net::HttpClient::shared());
    ~Downloader();
    Downloader(const Downloader&) = delete;
    Downloader& operator=(const Downloader&) = delete;

    // Starts the transfer on its own thread and returns a new subscription.
    std::shared_ptr<Subscription<DownloadState>> download(const platform::net::Url& from,
                                                          std::optional<std::string> authToken,
                                                          std::optional<int64_t> expectedSize,
                                                          platform::net::HttpHeaders headers = {},
                                                          double timeout = 10, int numRetries = 5);

    // Stops the transfer without waiting for it; the partial file keeps what was written.
    void cancel();

    std::shared_ptr<Subscription<DownloadState>> subscribe() { return broadcaster_.subscribe(); }

    const std::filesystem::path& destination() const { return destination_; }
    const std::filesystem::path& incompleteDestination() const { return incompleteDestination_; }
    int64_t chunkSize() const { return chunkSize_; }
    bool inBackground() const { return inBackground_; }

    // Pause between attempts after a broken body (1 s).
    void setRetryDelay(std::chrono::milliseconds delay) { retryDelay_ = delay; }

    // The body is hashed as it arrives (a kept partial file first) and must
    // have this SHA-256 (lower-case hex) before it is moved into place.
    void setExpectedSha256(std::optional<std::string> hex) { expectedSha256_ = std::move(hex); }

    static int64_t incompleteFileSize(const std::filesystem::path& file);

private:
    struct BodyHash;
    void setUpDownload(const platform::net::Url& from, std::optional<std::string> token, int64_t resumeSize,
                       platform::net::HttpHeaders headers, double timeout, int numRetries, std::stop_token stop);
    void httpGet(const platform::net::HttpRequest& request, int fd, int numRetries, BodyHash* hash,
                 std::stop_token stop);
    void verify(BodyHash& hash);
    void moveDownloadedFile();
    void publish(const DownloadState& state) { broadcaster_.broadcast(state); }

    std::filesystem::path destination_;
    std::filesystem::path incompleteDestination_;
    bool inBackground_;
    int64_t chunkSize_;
    std::shared_ptr<const platform::net::HttpClient> http_;
    std::chrono::milliseconds retryDelay_{1000};
    std::optional<std::string> expectedSha256_;

    std::mutex stateMutex_;  // resume state
    std::optional<int64_t> expectedSize_;
    int64_t downloadedSize_ = 0;

    Broadcaster<DownloadState> broadcaster_;
    std::mutex taskMutex_;
    std::jthread task_;
};

}  // namespace Hub
