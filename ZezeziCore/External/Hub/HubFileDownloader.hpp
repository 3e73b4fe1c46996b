#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <stop_token>
#include <string>

#include "ZezeziCore/External/Hub/HubApi.hpp"

namespace Hub {

// Brings one repository file into the local cache: kept when its metadata is
// current, recorded when it matches, otherwise fetched through a Downloader.
struct HubApi::HubFileDownloader {
    HubApi hub;
    Repo repo;
    std::string revision;
    std::filesystem::path repoDestination;
    std::filesystem::path repoMetadataDestination;
    std::string relativeFilename;
    std::optional<std::string> hfToken;
    std::optional<std::string> endpoint;
    bool backgroundSession = false;

    std::filesystem::path destination() const;
    std::filesystem::path metadataPath() const;
    std::filesystem::path incompletePath(const std::string& etag) const;
    platform::net::Url source() const;

    static void prepareCacheDestination(const std::filesystem::path& incompleteFile);

    using ProgressHandler = std::function<void(double fraction, std::optional<double> speed)>;
    std::filesystem::path download(const ProgressHandler& progressHandler = {}, std::stop_token stop = {}) const;

private:
    // One transfer into the partial file and onto the destination.
    void transfer(const std::filesystem::path& partial, int64_t size, const std::optional<std::string>& sha256,
                  const ProgressHandler& progressHandler, std::stop_token stop) const;
};

}  // namespace Hub
