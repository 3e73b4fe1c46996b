#pragma once

// An HTTP server on 127.0.0.1 (ephemeral port) for tests and benchmarks.
// Header-only; whoever includes it links cpp-httplib.

#include <httplib.h>

#include <map>
#include <mutex>
#include <stdexcept>
#include <string>
#include <chrono>
#include <strings.h>
#include <thread>
#include <vector>

namespace platform::net {

class LoopbackServer {
public:
    struct Recorded {
        std::string method;
        std::string path;    // percent-decoded
        std::string target;  // as sent, query included
        std::multimap<std::string, std::string> headers;  // names as sent
        std::string header(const std::string& name) const {
            for (const auto& [n, v] : headers)
                if (strcasecmp(n.c_str(), name.c_str()) == 0) return v;
            return {};
        }
        bool hasHeader(const std::string& name) const {
            for (const auto& [n, v] : headers)
                if (strcasecmp(n.c_str(), name.c_str()) == 0) return true;
            return false;
        }
    };

    LoopbackServer() {
        server_.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response&) {
            Recorded r{req.method, req.path, req.target, {}};
            for (const auto& [n, v] : req.headers) r.headers.emplace(n, v);
            std::lock_guard lock(mutex_);
            requests_.push_back(std::move(r));
            return httplib::Server::HandlerResponse::Unhandled;
        });
        server_.set_keep_alive_max_count(100);
    }

    ~LoopbackServer() { stop(); }

    httplib::Server& server() { return server_; }

    void start() {
        port_ = server_.bind_to_any_port("127.0.0.1");
        if (port_ <= 0) throw std::runtime_error("loopback server could not bind");
        thread_ = std::thread([this] { server_.listen_after_bind(); });
        while (!server_.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }

    void stop() {
        if (thread_.joinable()) {
            server_.stop();
            thread_.join();
        }
    }

    int port() const { return port_; }
    std::string baseUrl() const { return "http://127.0.0.1:" + std::to_string(port_); }

    std::vector<Recorded> requests() const {
        std::lock_guard lock(mutex_);
        return requests_;
    }
    std::vector<Recorded> requests(const std::string& method) const {
        std::vector<Recorded> out;
        for (auto& r : requests())
            if (r.method == method) out.push_back(r);
        return out;
    }
    void clearRequests() {
        std::lock_guard lock(mutex_);
        requests_.clear();
    }

private:
    httplib::Server server_;
    std::thread thread_;
    int port_ = 0;
    mutable std::mutex mutex_;
    std::vector<Recorded> requests_;
};

}  // namespace platform::net
