#include "ZezeziCore/External/Hub/HubFileDownloader.hpp"

#include <cerrno>

#include "ZezeziCore/External/Hub/Downloader.hpp"
#include "ZezeziCore/External/Hub/PathSafety.hpp"
#include "platform/foundation/FileManager.hpp"

namespace Hub {

namespace fs = std::filesystem;
using platform::net::Url;
using platform::net::UrlError;

namespace {
void requireSafeName(const std::string& name) {
    if (!isSafeRelativePath(name)) throw HubClientError::parseError("Unsafe file name in repository: \"" + name + "\"");
}
}  // namespace

fs::path HubApi::HubFileDownloader::destination() const {
    requireSafeName(relativeFilename);
    return repoDestination / fs::path(relativeFilename);
}

fs::path HubApi::HubFileDownloader::metadataPath() const {
    requireSafeName(relativeFilename);
    return repoMetadataDestination / fs::path(relativeFilename + ".metadata");
}

fs::path HubApi::HubFileDownloader::incompletePath(const std::string& etag) const {
    requireSafeName(relativeFilename);
    if (!isSafeFileNameComponent(etag))
        throw EnvironmentError::invalidMetadataError("Unsafe etag from server: \"" + etag + "\"");
    return repoMetadataDestination / fs::path(relativeFilename + "." + etag + ".incomplete");
}

Url HubApi::HubFileDownloader::source() const {
    std::string base = endpoint.value_or(HubApi::defaultEndpoint);
    auto url = Url::parse(base);
    if (!url) throw UrlError(UrlError::Code::badURL, "invalid hub endpoint \"" + base + "\"");
    Url u = *url;
    if (repo.type != RepoType::models) u = u.appendingPath(rawValue(repo.type));
    return u.appendingPath(repo.id).appendingPath("resolve").appendingPathComponent(revision).appendingPath(relativeFilename);
}

void HubApi::HubFileDownloader::prepareCacheDestination(const fs::path& incompleteFile) {
    platform::FileManager::createDirectories(incompleteFile.parent_path());
    // Created only where nothing is: a kept partial file is resumed, and a
    // link in its place is neither followed nor replaced.
    try {
        platform::FileManager::writeNewFile(incompleteFile, "", 0644);
    } catch (const platform::FileError& e) {
        if (e.errorNumber() != EEXIST) throw;
    }
}

fs::path HubApi::HubFileDownloader::download(const ProgressHandler& progressHandler, std::stop_token stop) const {
    // Checked before anything touches the disk or the network.
    if (!isSafeRelativePath(repo.id)) throw HubClientError::parseError("Unsafe repository id: \"" + repo.id + "\"");
    const fs::path dest = destination();
    const fs::path metaPath = metadataPath();
    // The repository's own files stay out of the folder of our bookkeeping.
    if (!isOutside(dest, repoMetadataDestination))
        throw HubClientError::parseError("Unsafe file name in repository: \"" + relativeFilename + "\"");

    auto local = hub.readDownloadMetadata(metaPath);
    auto remote = hub.getFileMetadata(source(), stop);
    std::string localCommit = local ? local->commitHash : "";
    std::string remoteCommit = remote.commitHash.value_or("");

    std::error_code ec;
    // A local file of another size than the hub's is never current, whatever
    // its metadata says (a cheap guard against truncated or altered copies).
    auto sizeMatches = [&] {
        if (!remote.size) return true;
        std::error_code sizeError;
        auto size = fs::file_size(dest, sizeError);
        return !sizeError && static_cast<int64_t>(size) == *remote.size;
    };
    if (isValidHash(remoteCommit, hub.commitHashPattern) && fs::exists(dest, ec) && local &&
        localCommit == remoteCommit && sizeMatches())
        return dest;

    if (!remote.commitHash || !remote.etag || !remote.size || remote.location.empty())
        throw EnvironmentError::invalidMetadataError("File metadata must have been retrieved from server");
    const std::string& commit = *remote.commitHash;
    const std::string& etag = *remote.etag;

    if (fs::exists(dest, ec)) {
        if (local && local->etag == etag && sizeMatches()) {
            hub.writeDownloadMetadata(commit, etag, metaPath);
            return dest;
        }
        if (isValidHash(etag, hub.sha256Pattern) && hub.computeFileHash(dest) == etag) {
            hub.writeDownloadMetadata(commit, etag, metaPath);
            return dest;
        }
    }

    const fs::path partial = incompletePath(etag);
    // Checked names cannot leave their folders; this keeps it so whatever
    // the folders are.
    if (!isInside(dest, repoDestination) || !isInside(partial, repoMetadataDestination) ||
        !isInside(metaPath, repoMetadataDestination))
        throw HubClientError::parseError("Cache path outside the repository folder for \"" + relativeFilename + "\"");
    // A large-file object is named by its SHA-256: the body is checked as it
    // streams in, and a wrong one is fetched once more before giving up.
    std::optional<std::string> sha256;
    if (isValidHash(etag, hub.sha256Pattern)) sha256 = etag;
    for (int attempt = 1;; ++attempt) {
        try {
            transfer(partial, *remote.size, sha256, progressHandler, stop);
            break;
        } catch (const Downloader::DownloadError& e) {
            if (e.kind() != Downloader::DownloadError::Kind::hashMismatch) throw;
            if (attempt == 2) throw EnvironmentError::fileIntegrityError("Hash mismatch for " + dest.filename().string());
        }
    }
    hub.writeDownloadMetadata(commit, etag, metaPath);
    return dest;
}

void HubApi::HubFileDownloader::transfer(const fs::path& partial, int64_t size,
                                         const std::optional<std::string>& sha256,
                                         const ProgressHandler& progressHandler, std::stop_token stop) const {
    const fs::path dest = destination();
    prepareCacheDestination(partial);
    Downloader downloader(dest, partial, backgroundSession, hub.downloadChunkSize, hub.http);
    downloader.setRetryDelay(hub.downloadRetryDelay);
    downloader.setExpectedSha256(sha256);
    std::stop_callback onCancel(stop, [&downloader] { downloader.cancel(); });
    if (stop.stop_requested()) downloader.cancel();
    auto states = downloader.download(source(), hfToken, size, {}, hub.downloadIdleTimeout);
    bool completed = false;
    while (auto state = states->receive()) {
        using Kind = Downloader::DownloadState::Kind;
        if (state->kind == Kind::downloading) {
            if (progressHandler) progressHandler(state->fraction, state->speed);
        } else if (state->kind == Kind::failed) {
            std::rethrow_exception(state->error);
        } else if (state->kind == Kind::completed) {
            completed = true;
            break;
        }
    }
    // A stream that ends without saying "completed" is not a finished file.
    std::error_code ec;
    if (!completed || !fs::exists(dest, ec))
        throw Downloader::DownloadError(Downloader::DownloadError::Kind::unexpectedError, "transfer ended without completing");
}

}  // namespace Hub
