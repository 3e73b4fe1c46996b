#include "ZezeziCore/External/Hub/HubApiWrapper.hpp"

#include "platform/foundation/Paths.hpp"

#include <cstdlib>
#include <cstring>
#include <iostream>

namespace Hub {

namespace fs = std::filesystem;

HubApiWrapper::HubApiWrapper(std::optional<fs::path> downloadBase, std::optional<std::string> hfToken,
                             std::optional<std::string> endpoint, bool useBackgroundSession,
                             std::shared_ptr<const platform::net::HttpClient> http,
                             std::shared_ptr<HubApi::NetworkMonitor> networkMonitor) {
    impl.hfToken = hfToken ? hfToken : HubApi::hfTokenFromEnv();
    const char* ci = std::getenv("CI_DISABLE_NETWORK_MONITOR");
    if (ci && std::strcmp(ci, "1") == 0) std::cout << (impl.hfToken ? "✅ got token" : "🔴 NO TOKEN **") << std::endl;
    impl.downloadBase = downloadBase ? *downloadBase : platform::Paths::xdgCacheHome() / "huggingface";
    if (endpoint) {
        impl.endpoint = *endpoint;
    } else if (const char* env = std::getenv("HF_ENDPOINT")) {
        impl.endpoint = env;
    } else {
        impl.endpoint = HubApi::defaultEndpoint;
    }
    impl.useBackgroundSession = useBackgroundSession;
    impl.useOfflineMode = std::nullopt;
    if (http) impl.http = std::move(http);
    impl.networkMonitor = std::move(networkMonitor);
}

HubApiWrapper& HubApiWrapper::shared() {
    static HubApiWrapper wrapper;
    return wrapper;
}

}  // namespace Hub
