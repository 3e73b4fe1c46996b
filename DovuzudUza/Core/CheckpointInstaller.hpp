#pragma once

#include <filesystem>
#include <functional>
#include <stop_token>
#include <string>

#include "ZezeziCore/External/Hub/HubApiWrapper.hpp"
#include "ZezeziCore/External/Hub/Progress.hpp"

namespace DovuzudUza {

// Installs one model variant folder from a standard checkpoint repository:
// its files come into the hub client's cache (resumed, verified and offline
// as the client does it), then the conversion is built in a folder beside
// the variant folder and renamed into place, so the variant folder exists
// only whole. Installs of the same models folder take turns, across
// processes; leftovers of an interrupted install are cleared first.
struct CheckpointInstaller {
    // Counts bytes: total = the checkpoint's files, completed = fetched.
    using ProgressCallback = std::function<void(const Hub::Progress&)>;

    // Returns the local checkpoint folder (the client's copy of the repository).
    static std::filesystem::path fetch(const Hub::HubApiWrapper& hub, const std::string& repository,
                                       const ProgressCallback& progress = {}, std::stop_token stop = {});

    // Converts a checkpoint folder into `variantFolder`, replacing what is
    // there. A stop ends it with CancellationError and changes nothing.
    static void convert(const std::filesystem::path& checkpointFolder, const std::filesystem::path& variantFolder,
                        std::stop_token stop = {});

    // Both, under the lock of the variant folder's parent; `willConvert` is
    // told once every file is fetched, before the conversion starts.
    static void install(const Hub::HubApiWrapper& hub, const std::string& repository,
                        const std::filesystem::path& variantFolder, const ProgressCallback& progress = {},
                        const std::function<void()>& willConvert = {}, std::stop_token stop = {});

    // The folder a conversion is built in, beside the variant folder.
    static std::filesystem::path partialFolder(const std::filesystem::path& variantFolder);
};

}  // namespace DovuzudUza
