#include "DovuzudUza/Core/CheckpointInstaller.hpp"

#include <algorithm>
#include <cmath>
#include <vector>

#include "DovuzudUza/Core/EngineLog.hpp"
#include "DovuzudUza/Core/ModelCatalogue.hpp"
#include "DovuzudUza/Utilities/WhisperError.hpp"
#include "ZezeziCore/External/Hub/HubFileDownloader.hpp"
#include "platform/concurrency/Task.hpp"
#include "platform/foundation/FileManager.hpp"
#include "platform/foundation/FolderLock.hpp"
#include "platform/ml/ModelError.hpp"
#include "platform/ml/WhisperCheckpoint.hpp"

namespace DovuzudUza {

namespace fs = std::filesystem;

namespace {

// A glob that accepts exactly this name.
std::string literalGlob(const std::string& name) {
    std::string glob;
    for (char c : name) {
        if (c == '*' || c == '?' || c == '[' || c == '\\') glob += '\\';
        glob += c;
    }
    return glob;
}

bool isOffline(const Hub::HubApiWrapper& hub) {
    return hub.impl.useOfflineMode.value_or(hub.impl.shouldUseOfflineMode());
}

int64_t announcedSize(const Hub::HubApiWrapper& hub, const Hub::HubApi::Repo& repo, const std::string& name,
                      std::stop_token stop) {
    const Hub::HubApi::HubFileDownloader file{hub.impl, repo, "main", {}, {}, name, hub.impl.hfToken, hub.impl.endpoint};
    return std::max<int64_t>(hub.impl.getFileMetadata(file.source(), stop).size.value_or(0), 0);
}

void removeLeftovers(const fs::path& variantFolder) {
    const fs::path partial = CheckpointInstaller::partialFolder(variantFolder);
    platform::FileManager::removeItem(partial);
    // The converter's own working folder beside its destination.
    platform::FileManager::removeItem(partial.string() + ".converting");
}

}  // namespace

fs::path CheckpointInstaller::partialFolder(const fs::path& variantFolder) {
    std::string name = ".";
    name += variantFolder.filename().string();
    name += ".partial";
    return variantFolder.parent_path() / name;
}

fs::path CheckpointInstaller::fetch(const Hub::HubApiWrapper& hub, const std::string& repository,
                                    const ProgressCallback& progress, std::stop_token stop) {
    const Hub::HubApi::Repo repo{repository, Hub::HubApi::RepoType::models};
    const auto& patterns = ModelCatalogue::checkpointFilePatterns();
    // Offline the client checks the cached copy against its metadata instead.
    if (isOffline(hub)) return hub.snapshot(repo, "main", patterns, {}, stop);

    const auto names = hub.getFilenames(repo, "main", patterns, stop);
    std::vector<int64_t> sizes;
    for (const auto& name : names) sizes.push_back(announcedSize(hub, repo, name, stop));
    int64_t total = 0;
    for (int64_t size : sizes) total += size;

    Hub::Progress bytes(std::max<int64_t>(total, 1));
    int64_t fetched = 0;
    auto report = [&](int64_t completed) {
        bytes.setCompletedUnitCount(completed);
        if (progress) progress(bytes);
    };
    report(0);
    for (size_t i = 0; i < names.size(); ++i) {
        const int64_t size = sizes[i];
        hub.snapshot(
            repo, "main", {literalGlob(names[i])},
            [&](const Hub::Progress& file) {
                const double fraction = std::clamp(file.fractionCompleted(), 0.0, 1.0);
                report(fetched + static_cast<int64_t>(std::floor(fraction * static_cast<double>(size))));
            },
            stop);
        if (stop.stop_requested()) throw platform::CancellationError();
        fetched += size;
        report(fetched);
    }
    return hub.localRepoLocation(repo);
}

bool CheckpointInstaller::needsRepair(const std::exception& loadError) {
    if (platform::ml::isDamagedModelError(loadError)) return true;
    // The engine's own word for a model file that is not there.
    const auto* whisper = dynamic_cast<const WhisperError*>(&loadError);
    return whisper && whisper->kind() == WhisperError::Kind::modelsUnavailable;
}

void CheckpointInstaller::convert(const fs::path& checkpointFolder, const fs::path& variantFolder,
                                  std::stop_token stop, const std::vector<std::string>& entries) {
    const fs::path partial = partialFolder(variantFolder);
    removeLeftovers(variantFolder);
    platform::ml::convertCheckpoint(checkpointFolder, partial, true, stop, entries);
    std::error_code ec;
    if (!fs::is_directory(variantFolder, ec)) {
        // A new folder appears whole, in one rename.
        platform::FileManager::removeItem(variantFolder);
        fs::rename(partial, variantFolder);
        return;
    }
    // Only what was made replaces what was there: the entries that are
    // whole stay, and so does whoever is reading them.
    for (const auto& made : fs::directory_iterator(partial)) {
        const fs::path into = variantFolder / made.path().filename();
        if (made.is_directory() || fs::is_directory(into, ec)) platform::FileManager::removeItem(into);
        fs::rename(made.path(), into);
    }
    platform::FileManager::removeItem(partial);
}

void CheckpointInstaller::install(const Hub::HubApiWrapper& hub, const std::string& repository,
                                  const fs::path& variantFolder, const ProgressCallback& progress,
                                  const std::function<void()>& willConvert, std::stop_token stop) {
    const fs::path parent = variantFolder.parent_path();
    fs::create_directories(parent);
    platform::FolderLock lock(parent, stop);
    if (stop.stop_requested()) throw platform::CancellationError();
    removeLeftovers(variantFolder);
    // A whole folder is the answer as it is: nothing is fetched, converted
    // or removed (another process may be loading it).
    const auto damaged = platform::ml::damagedVariantEntries(variantFolder);
    if (damaged.empty()) return;
    const fs::path checkpoint = fetch(hub, repository, progress, stop);
    if (stop.stop_requested()) throw platform::CancellationError();
    engine_log::debug("Converting " + checkpoint.string() + " into " + variantFolder.string());
    if (willConvert) willConvert();
    convert(checkpoint, variantFolder, stop, damaged);
}

}  // namespace DovuzudUza
