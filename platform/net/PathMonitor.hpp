#pragma once

#include <functional>
#include <memory>

namespace platform::net {

struct NetworkPath {
    enum class Status { satisfied, unsatisfied };
    Status status = Status::satisfied;
    bool isExpensive = false;
    bool isConstrained = false;
};

// Watches whether the machine has a usable route out. The handler runs on the
// monitor's own thread after every change; the first path is delivered
// before start() returns.
class PathMonitor {
public:
    using Handler = std::function<void(const NetworkPath&)>;
    virtual ~PathMonitor() = default;
    virtual void start(Handler handler) = 0;
    virtual void cancel() = 0;
};

// Linux: a route is usable when an interface other than loopback is up and a
// default route exists; re-evaluated on every rtnetlink link or route event.
class NetlinkPathMonitor : public PathMonitor {
public:
    NetlinkPathMonitor();
    ~NetlinkPathMonitor() override;
    void start(Handler handler) override;
    void cancel() override;

    static NetworkPath currentPath();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace platform::net
