#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "ZezeziCore/External/Hub/HubApi.hpp"

namespace Hub {

// The face of the hub client the engine sees: builds the client from its
// arguments and the environment, and forwards to it.
struct HubApiWrapper {
    using RepoType = HubApi::RepoType;
    using Repo = HubApi::Repo;

    HubApi impl;

    // Token: the argument, even empty; else HF_TOKEN, then HUGGING_FACE_HUB_TOKEN.
    // Endpoint: the argument; else HF_ENDPOINT when set (even empty); else the public hub.
    // Base: the argument; else $XDG_CACHE_HOME/huggingface (~/.cache/huggingface).
    // The HTTP client and the network monitor are the process's own unless
    // handed in. Building one touches neither the network nor the monitor.
    explicit HubApiWrapper(std::optional<std::filesystem::path> downloadBase = std::nullopt,
                           std::optional<std::string> hfToken = std::nullopt,
                           std::optional<std::string> endpoint = std::nullopt, bool useBackgroundSession = false,
                           std::shared_ptr<const platform::net::HttpClient> http = nullptr,
                           std::shared_ptr<HubApi::NetworkMonitor> networkMonitor = nullptr);

    static HubApiWrapper& shared();

    std::filesystem::path snapshot(const Repo& repo, const std::string& revision,
                                   const std::vector<std::string>& matching = {},
                                   HubApi::ProgressHandler progressHandler = {}, std::stop_token stop = {}) const {
        return impl.snapshot(repo, revision, matching, std::move(progressHandler), stop);
    }

    std::vector<std::string> getFilenames(const Repo& repo, const std::string& revision,
                                          const std::vector<std::string>& matching = {},
                                          std::stop_token stop = {}) const {
        return impl.getFilenames(repo, revision, matching, stop);
    }

    std::filesystem::path localRepoLocation(const Repo& repo) const { return impl.localRepoLocation(repo); }
};

}  // namespace Hub
