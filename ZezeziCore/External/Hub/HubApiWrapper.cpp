#include "ZezeziCore/External/Hub/HubApiWrapper.hpp"

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>

namespace Hub {

namespace fs = std::filesystem;

HubApiWrapper::HubApiWrapper(std::optional<fs::path> downloadBase, std::optional<std::string> hfToken,
                             std::optional<std::string> endpoint, bool useBackgroundSession) {
    impl.hfToken = hfToken ? hfToken : HubApi::hfTokenFromEnv();
    const char* ci = std::getenv("CI_DISABLE_NETWORK_MONITOR");
    if (ci && std::strcmp(ci, "1") == 0) std::cout << (impl.hfToken ? "✅ got token" : "🔴 NO TOKEN **") << std::endl;
    impl.downloadBase = downloadBase ? *downloadBase : documentsDirectory() / "huggingface";
    if (endpoint) {
        impl.endpoint = *endpoint;
    } else if (const char* env = std::getenv("HF_ENDPOINT")) {
        impl.endpoint = env;
    } else {
        impl.endpoint = HubApi::defaultEndpoint;
    }
    impl.useBackgroundSession = useBackgroundSession;
    impl.useOfflineMode = std::nullopt;
    HubApi::NetworkMonitor::shared().startMonitoring();
}

HubApiWrapper& HubApiWrapper::shared() {
    static HubApiWrapper wrapper;
    return wrapper;
}

fs::path HubApiWrapper::documentsDirectory() {
    const char* homeEnv = std::getenv("HOME");
    fs::path home = homeEnv && *homeEnv ? fs::path(homeEnv) : fs::current_path();
    const char* configEnv = std::getenv("XDG_CONFIG_HOME");
    fs::path config = configEnv && *configEnv ? fs::path(configEnv) : home / ".config";
    std::ifstream dirs(config / "user-dirs.dirs");
    std::string line;
    while (std::getline(dirs, line)) {
        const std::string key = "XDG_DOCUMENTS_DIR=";
        if (line.rfind(key, 0) != 0) continue;
        std::string value = line.substr(key.size());
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
        if (value.rfind("$HOME", 0) == 0) return home / value.substr(value.size() > 5 && value[5] == '/' ? 6 : 5);
        if (!value.empty() && value.front() == '/') return value;
    }
    return home / "Documents";
}

}  // namespace Hub
