#include "platform/net/PathMonitor.hpp"

#include <ifaddrs.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>

#include "platform/foundation/UniqueFd.hpp"

namespace platform::net {

namespace {

bool hasUpInterface() {
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) return true;  // unknown: do not claim offline
    bool up = false;
    for (ifaddrs* a = list; a; a = a->ifa_next) {
        if ((a->ifa_flags & IFF_UP) && (a->ifa_flags & IFF_RUNNING) && !(a->ifa_flags & IFF_LOOPBACK)) up = true;
    }
    freeifaddrs(list);
    return up;
}

bool hasDefaultRoute() {
    std::ifstream v4("/proc/net/route");
    std::string line;
    std::getline(v4, line);  // header
    while (std::getline(v4, line)) {
        std::istringstream in(line);
        std::string iface, dest;
        in >> iface >> dest;
        if (dest == "00000000" && iface != "lo") return true;
    }
    std::ifstream v6("/proc/net/ipv6_route");
    while (std::getline(v6, line)) {
        std::istringstream in(line);
        std::string dest, prefix, src, srcPrefix, next, metric, ref, use, flags, iface;
        in >> dest >> prefix >> src >> srcPrefix >> next >> metric >> ref >> use >> flags >> iface;
        if (dest == std::string(32, '0') && prefix == "00" && iface != "lo") return true;
    }
    return false;
}

}  // namespace

struct NetlinkPathMonitor::Impl {
    std::mutex mutex;
    std::jthread thread;
    UniqueFd wakeRead, wakeWrite;  // a byte on it ends the watch
};

NetlinkPathMonitor::NetlinkPathMonitor() : impl_(std::make_unique<Impl>()) {}

NetlinkPathMonitor::~NetlinkPathMonitor() { cancel(); }

NetworkPath NetlinkPathMonitor::currentPath() {
    NetworkPath path;
    path.status = hasUpInterface() && hasDefaultRoute() ? NetworkPath::Status::satisfied
                                                        : NetworkPath::Status::unsatisfied;
    return path;
}

void NetlinkPathMonitor::start(Handler handler) {
    std::lock_guard lock(impl_->mutex);
    if (impl_->thread.joinable()) return;
    if (auto pipe = openPipe()) {
        impl_->wakeRead = std::move(pipe->readEnd);
        impl_->wakeWrite = std::move(pipe->writeEnd);
    }
    const int wake = impl_->wakeRead.get();
    // The first path is known before start returns.
    NetworkPath first = currentPath();
    if (handler) handler(first);
    impl_->thread = std::jthread([handler = std::move(handler), wake, first](std::stop_token stop) {
        UniqueFd sock(socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE));
        if (sock) {
            sockaddr_nl addr{};
            addr.nl_family = AF_NETLINK;
            addr.nl_groups = RTMGRP_LINK | RTMGRP_IPV4_ROUTE | RTMGRP_IPV6_ROUTE | RTMGRP_IPV4_IFADDR;
            if (bind(sock.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) sock.reset();
        }
        NetworkPath last = first;
        char buffer[8192];
        while (!stop.stop_requested()) {
            pollfd fds[2] = {{sock.get(), POLLIN, 0}, {wake, POLLIN, 0}};
            int ready = poll(fds, 2, sock ? -1 : 5000);
            if (stop.stop_requested()) break;
            if (ready < 0) continue;
            if (sock && (fds[0].revents & POLLIN)) {
                if (recv(sock.get(), buffer, sizeof buffer, 0) < 0) continue;
            }
            NetworkPath now = currentPath();
            if (now.status != last.status) {
                last = now;
                if (handler) handler(now);
            }
        }
    });
}

void NetlinkPathMonitor::cancel() {
    std::jthread thread;
    {
        std::lock_guard lock(impl_->mutex);
        thread = std::move(impl_->thread);
    }
    if (thread.joinable()) {
        thread.request_stop();
        if (impl_->wakeWrite) {
            char byte = 1;
            (void)!write(impl_->wakeWrite.get(), &byte, 1);
        }
        thread.join();
    }
    impl_->wakeRead.reset();
    impl_->wakeWrite.reset();
}

}  // namespace platform::net
