#include <cmath>
#include <limits>

#include "ZezeziCore/External/Hub/Extensions/ArrayExtensions.hpp"
#include "ZezeziCore/External/Hub/HubApi.hpp"
#include "ZezeziCore/External/Hub/HubFileDownloader.hpp"
#include "ZezeziCore/External/Hub/PathSafety.hpp"

namespace Hub {

namespace fs = std::filesystem;

namespace {

int64_t unitsFor(double fraction) {
    if (!std::isfinite(fraction)) return 0;
    double units = std::trunc(fraction * 100.0);
    return static_cast<int64_t>(std::clamp(units, 0.0, 100.0));
}

std::string resolvedText(const fs::path& path) {
    std::error_code ec;
    auto resolved = fs::weakly_canonical(path, ec);
    return (ec ? fs::absolute(path) : resolved).string();
}

}  // namespace

fs::path HubApi::snapshot(const Repo& repo, const std::string& revision, const std::vector<std::string>& globs,
                          ProgressHandler progressHandler, std::stop_token stop) const {
    if (!isSafeRelativePath(repo.id)) throw HubClientError::parseError("Unsafe repository id: \"" + repo.id + "\"");
    const fs::path repoFolder = localRepoLocation(repo);
    const fs::path metadataFolder = repoFolder / ".cache" / "huggingface" / "download";

    const bool offline = useOfflineMode ? *useOfflineMode : shouldUseOfflineMode();
    if (offline) return snapshotOffline(repo, globs);

    auto names = getFilenames(repo, revision, globs, stop);
    // Refuse the whole listing before writing anything when one name would
    // leave the repository folder.
    // A listed file must not land in the folder of our own metadata and
    // partial files either.
    for (const auto& name : names)
        if (!isSafeRelativePath(name) || !isOutside(repoFolder / fs::path(name), metadataFolder))
            throw HubClientError::parseError("Unsafe file name in repository listing: \"" + name + "\"");

    Progress overall(static_cast<int64_t>(names.size()));
    // Children are kept alive by the parent.
    for (const auto& name : names) {
        auto child = std::make_shared<Progress>(100);
        overall.addChild(child, 1);
        HubFileDownloader file{*this, repo, revision, repoFolder, metadataFolder, name, hfToken, endpoint,
                               useBackgroundSession};
        file.download(
            [&](double fraction, std::optional<double> speed) {
                child->setCompletedUnitCount(unitsFor(fraction));
                if (speed) {
                    child->setThroughput(*speed);
                    overall.setThroughput(*speed);
                }
                if (progressHandler) progressHandler(overall);
            },
            stop);
        if (stop.stop_requested()) throw CancellationError();
        child->setCompletedUnitCount(100);
    }
    if (progressHandler) progressHandler(overall);
    return repoFolder;
}

bool HubApi::endpointIsLocal() const {
    auto url = platform::net::Url::parse(endpoint);
    return url && url->isLoopback();
}

bool HubApi::shouldUseOfflineMode() const {
    // A mirror on this machine answers without a route out.
    if (endpointIsLocal()) return false;
    auto& monitor = networkMonitor ? *networkMonitor : NetworkMonitor::shared();
    return monitor.state().shouldUseOfflineMode();
}

fs::path HubApi::snapshotOffline(const Repo& repo, const std::vector<std::string>& globs) const {
    const fs::path repoFolder = localRepoLocation(repo);
    const fs::path metadataFolder = repoFolder / ".cache" / "huggingface" / "download";
    std::error_code ec;
    if (!fs::exists(repoFolder, ec)) throw EnvironmentError::offlineModeError("Repository not available locally");
    std::string base = resolvedText(repoFolder);
    if (base.empty() || base.back() != '/') base += '/';

    auto files = getFileUrls(repoFolder);
    if (files.empty()) throw EnvironmentError::offlineModeError("No files available locally for this repository");

    auto relativeName = [&](const fs::path& file) -> std::optional<std::string> {
        std::string resolved = resolvedText(file);
        if (resolved.compare(0, base.size(), base) != 0) return std::nullopt;
        return resolved.substr(base.size());
    };

    if (!globs.empty()) {
        std::vector<fs::path> kept;
        for (const auto& file : files) {
            auto rel = relativeName(file);
            if (!rel) continue;
            for (const auto& glob : globs) {
                if (!ZezeziCore::matching(std::vector<std::string>{*rel}, glob).empty()) {
                    kept.push_back(file);
                    break;
                }
            }
        }
        if (kept.empty())
            throw EnvironmentError::offlineModeError("No files matching the requested patterns are available locally");
        files = std::move(kept);
    }

    for (const auto& file : files) {
        const std::string name = file.filename().string();
        auto rel = relativeName(file);
        if (!rel) throw EnvironmentError::offlineModeError("Metadata not available for " + name);
        auto meta = readDownloadMetadata(metadataFolder / fs::path(*rel + ".metadata"));
        if (!meta) throw EnvironmentError::offlineModeError("Metadata not available for " + name);
        if (isValidHash(meta->etag, sha256Pattern) && computeFileHash(file) != meta->etag)
            throw EnvironmentError::fileIntegrityError("Hash mismatch for " + name);
    }
    return repoFolder;
}

}  // namespace Hub
