#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "ZezeziCore/External/Hub/HubClientError.hpp"
#include "ZezeziCore/External/Hub/Progress.hpp"
#include "platform/foundation/Error.hpp"
#include "platform/net/HttpClient.hpp"
#include "platform/net/PathMonitor.hpp"

namespace ZezeziCore {
class Config;
}

namespace Hub {

// The hub client: listings, metadata requests, the local cache with its
// ".metadata" files, snapshots online and offline.
struct HubApi {
    enum class RepoType { models, datasets, spaces };
    static std::string rawValue(RepoType type);
    static std::optional<RepoType> repoType(std::string_view raw);

    struct Repo {
        std::string id;
        RepoType type = RepoType::models;
        Repo() = default;
        Repo(std::string id, RepoType type = RepoType::models) : id(std::move(id)), type(type) {}
        bool operator==(const Repo&) const = default;
    };

    struct Sibling {
        std::string rfilename;
    };
    struct SiblingsResponse {
        std::vector<Sibling> siblings;
    };

    struct LocalDownloadFileMetadata {
        std::string commitHash;
        std::string etag;
        std::string filename;
        std::chrono::system_clock::time_point timestamp;
    };

    struct FileMetadata {
        std::optional<std::string> commitHash;
        std::optional<std::string> etag;
        std::string location;
        std::optional<int64_t> size;
    };

    class EnvironmentError : public platform::Error {
    public:
        enum class Kind { invalidMetadataError, offlineModeError, fileIntegrityError, fileWriteError };
        EnvironmentError(Kind kind, std::string text) : kind_(kind), text_(std::move(text)) {}
        static EnvironmentError invalidMetadataError(std::string t) { return {Kind::invalidMetadataError, std::move(t)}; }
        static EnvironmentError offlineModeError(std::string t) { return {Kind::offlineModeError, std::move(t)}; }
        static EnvironmentError fileIntegrityError(std::string t) { return {Kind::fileIntegrityError, std::move(t)}; }
        static EnvironmentError fileWriteError(std::string t) { return {Kind::fileWriteError, std::move(t)}; }
        Kind kind() const { return kind_; }
        const std::string& text() const { return text_; }
        std::string description() const override;

    private:
        Kind kind_;
        std::string text_;
    };

    // Connection state, written only by the path monitor's handler.
    class NetworkStateActor {
    public:
        bool isConnected() const;
        bool isExpensive() const;
        bool isConstrained() const;
        void update(bool connected, bool expensive, bool constrained);
        // Never offline when CI_DISABLE_NETWORK_MONITOR is exactly "1".
        bool shouldUseOfflineMode() const;

    private:
        mutable std::mutex mutex_;
        bool connected_ = true;
        bool expensive_ = false;
        bool constrained_ = false;
    };

    class NetworkMonitor {
    public:
        explicit NetworkMonitor(std::unique_ptr<platform::net::PathMonitor> monitor = nullptr);
        ~NetworkMonitor();
        NetworkMonitor(const NetworkMonitor&) = delete;
        NetworkMonitor& operator=(const NetworkMonitor&) = delete;
        // Starting again while running does nothing.
        void startMonitoring();
        NetworkStateActor& state() { return *state_; }
        // The process's monitor, made (and started) by the first snapshot
        // that has to choose between the roads.
        static NetworkMonitor& shared();
        static bool sharedExists();

    private:
        std::mutex mutex_;
        std::unique_ptr<platform::net::PathMonitor> monitor_;
        std::shared_ptr<NetworkStateActor> state_;
        bool started_ = false;
    };

    struct HubFileDownloader;

    std::filesystem::path downloadBase;
    std::optional<std::string> hfToken;
    std::string endpoint;
    bool useBackgroundSession = false;
    std::optional<bool> useOfflineMode;
    std::string sha256Pattern = "^[0-9a-f]{64}$";
    std::string commitHashPattern = "^[0-9a-f]{40}$";
    std::shared_ptr<const platform::net::HttpClient> http = platform::net::HttpClient::shared();
    // Decides offline mode; none means the process's monitor.
    std::shared_ptr<NetworkMonitor> networkMonitor;
    // Where failures worth a trace go; none means the system log.
    std::function<void(const std::string&)> logSink;
    // Chunk size of file transfers; the default keeps 10 MiB.
    int64_t downloadChunkSize = 10'485'760;
    // Pause before a transfer retries after a broken body.
    std::chrono::milliseconds downloadRetryDelay{1000};
    // Seconds a file body may stay silent before the transfer fails (and is retried).
    double downloadIdleTimeout = 10;

    static constexpr const char* defaultEndpoint = "https://huggingface.co";

    // Requests.
    platform::net::HttpResponse httpGet(const platform::net::Url& url, std::stop_token stop = {}) const;
    platform::net::HttpResponse httpHead(const platform::net::Url& url, std::stop_token stop = {}) const;
    FileMetadata getFileMetadata(const platform::net::Url& url, std::stop_token stop = {}) const;

    std::vector<std::string> getFilenames(const Repo& repo, const std::string& revision,
                                          const std::vector<std::string>& globs = {},
                                          std::stop_token stop = {}) const;

    using ProgressHandler = std::function<void(const Progress&)>;
    std::filesystem::path snapshot(const Repo& repo, const std::string& revision,
                                   const std::vector<std::string>& globs = {}, ProgressHandler progressHandler = {},
                                   std::stop_token stop = {}) const;

    // Needs nothing of the client: a folder of files can be read without one.
    static ZezeziCore::Config configuration(const std::filesystem::path& fileURL);

    // Local cache.
    std::filesystem::path localRepoLocation(const Repo& repo) const;
    std::optional<LocalDownloadFileMetadata> readDownloadMetadata(const std::filesystem::path& metadataPath) const;
    void writeDownloadMetadata(const std::string& commitHash, const std::string& etag,
                               const std::filesystem::path& metadataPath) const;
    std::string computeFileHash(const std::filesystem::path& file) const;
    static std::optional<std::string> normalizeEtag(const std::optional<std::string>& etag);
    static bool isValidHash(const std::string& text, const std::string& pattern);

    static std::optional<std::string> hfTokenFromEnv();

    void logError(const std::string& message) const;

    // A hub on this machine (loopback address or "localhost") is reachable
    // whatever the network's state.
    bool endpointIsLocal() const;
    // Whether the network state calls for the cached copy (never for a hub
    // on this machine); `useOfflineMode`, when set, overrides it.
    bool shouldUseOfflineMode() const;

private:
    std::filesystem::path snapshotOffline(const Repo& repo, const std::vector<std::string>& globs) const;
};

// Every regular, non-hidden file under a folder (hidden folders are not entered).
std::vector<std::filesystem::path> getFileUrls(const std::filesystem::path& folder);

void to_json(nlohmann::json& j, const HubApi::Repo& repo);
void from_json(const nlohmann::json& j, HubApi::Repo& repo);
void to_json(nlohmann::json& j, const HubApi::SiblingsResponse& response);
void from_json(const nlohmann::json& j, HubApi::SiblingsResponse& response);

}  // namespace Hub

template <>
struct std::hash<Hub::HubApi::Repo> {
    size_t operator()(const Hub::HubApi::Repo& r) const noexcept {
        size_t h = std::hash<std::string>{}(r.id);
        return h ^ (std::hash<std::string>{}(Hub::HubApi::rawValue(r.type)) + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2));
    }
};
