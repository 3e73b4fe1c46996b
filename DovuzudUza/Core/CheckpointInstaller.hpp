#pragma once

#include <filesystem>
#include <functional>
#include <stop_token>
#include <exception>
#include <string>
#include <vector>

#include "ZezeziCore/External/Hub/HubApiWrapper.hpp"
#include "ZezeziCore/External/Hub/Progress.hpp"

namespace DovuzudUza {

// Installs one model variant folder from a standard checkpoint repository:
// its files come into the hub client's cache (resumed, verified and offline
// as the client does it), then the conversion is built in a folder beside
// the variant folder and renamed into place, so the variant folder exists
// only whole. A folder that is there already is left as it is when whole;
// otherwise only its missing or damaged entries are made again. Installs of
// the same models folder take turns, across processes; leftovers of an
// interrupted install are cleared first.
struct CheckpointInstaller {
    // Counts bytes: total = the checkpoint's files, completed = fetched.
    using ProgressCallback = std::function<void(const Hub::Progress&)>;

    // Returns the local checkpoint folder (the client's copy of the repository).
    static std::filesystem::path fetch(const Hub::HubApiWrapper& hub, const std::string& repository,
                                       const ProgressCallback& progress = {}, std::stop_token stop = {});

    // Converts a checkpoint folder into `variantFolder`: the named entries
    // (all when none is named) replace those there. A stop ends it with
    // CancellationError and changes nothing.
    static void convert(const std::filesystem::path& checkpointFolder, const std::filesystem::path& variantFolder,
                        std::stop_token stop = {}, const std::vector<std::string>& entries = {});

    // Under the lock of the variant folder's parent: returns at once when
    // the folder is whole and loads; otherwise fetches, then converts what
    // is missing or damaged. `willConvert` is told once every file is
    // fetched, before the conversion starts. A folder that fails to load for
    // another reason (out of memory, say) throws that error, untouched.
    static void install(const Hub::HubApiWrapper& hub, const std::string& repository,
                        const std::filesystem::path& variantFolder, const ProgressCallback& progress = {},
                        const std::function<void()>& willConvert = {}, std::stop_token stop = {});

    // Whether a model load error means the folder's files are missing,
    // incomplete or unreadable, which an install repairs; any other (out of
    // memory, say) is the machine's, and a new copy would fail the same way.
    static bool needsRepair(const std::exception& loadError);

    // The folder a conversion is built in, beside the variant folder.
    static std::filesystem::path partialFolder(const std::filesystem::path& variantFolder);
};

}  // namespace DovuzudUza
