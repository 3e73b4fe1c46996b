#include <atomic>
#include <cstdlib>
#include <cstring>

#include "ZezeziCore/External/Hub/HubApi.hpp"

namespace Hub {

bool HubApi::NetworkStateActor::isConnected() const {
    std::lock_guard lock(mutex_);
    return connected_;
}

bool HubApi::NetworkStateActor::isExpensive() const {
    std::lock_guard lock(mutex_);
    return expensive_;
}

bool HubApi::NetworkStateActor::isConstrained() const {
    std::lock_guard lock(mutex_);
    return constrained_;
}

void HubApi::NetworkStateActor::update(bool connected, bool expensive, bool constrained) {
    std::lock_guard lock(mutex_);
    connected_ = connected;
    expensive_ = expensive;
    constrained_ = constrained;
}

bool HubApi::NetworkStateActor::shouldUseOfflineMode() const {
    const char* flag = std::getenv("CI_DISABLE_NETWORK_MONITOR");
    if (flag && std::strcmp(flag, "1") == 0) return false;
    return !isConnected();
}

HubApi::NetworkMonitor::NetworkMonitor(std::unique_ptr<platform::net::PathMonitor> monitor)
    : monitor_(monitor ? std::move(monitor) : std::make_unique<platform::net::NetlinkPathMonitor>()),
      state_(std::make_shared<NetworkStateActor>()) {
    startMonitoring();
}

HubApi::NetworkMonitor::~NetworkMonitor() { monitor_->cancel(); }

void HubApi::NetworkMonitor::startMonitoring() {
    std::lock_guard lock(mutex_);
    if (started_) return;
    started_ = true;
    std::weak_ptr<NetworkStateActor> weak = state_;
    monitor_->start([weak](const platform::net::NetworkPath& path) {
        if (auto state = weak.lock())
            state->update(path.status == platform::net::NetworkPath::Status::satisfied, path.isExpensive,
                          path.isConstrained);
    });
}

namespace {
std::atomic<bool> sharedMade{false};
}  // namespace

HubApi::NetworkMonitor& HubApi::NetworkMonitor::shared() {
    static NetworkMonitor monitor;
    sharedMade = true;
    return monitor;
}

bool HubApi::NetworkMonitor::sharedExists() { return sharedMade; }

}  // namespace Hub
