#pragma once

// A small hub on 127.0.0.1: one repository with listings, "resolve" URLs,
// metadata headers and ranged bodies, plus the misbehaviours tests ask for.

#include <atomic>
#include <thread>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/net/Sha256.hpp"
#include "platform/net/fake/LoopbackServer.hpp"
#include "tests/support/ReadFile.hpp"
#include "tests/support/TemporaryFolder.hpp"

namespace hubtest {

struct RepoFile {
    std::string content;
    bool lfs = false;  // etag = SHA-256 (64 hex), else a 40-hex one
};

inline std::string hex40(char c) { return std::string(40, c); }

class LoopbackHub {
public:
    std::string repoId = "org/model";
    std::string commit = hex40('a');
    std::map<std::string, RepoFile> files;
    std::optional<std::vector<std::string>> listingOverride;
    std::optional<std::string> etagOverride;
    std::optional<size_t> announcedSize;  // a size header that lies
    std::optional<std::string> requiredToken;  // 401 without "Bearer <token>"
    bool omitCommit = false;
    std::atomic<int> cutGets{0};          // the next N body GETs are cut...
    std::atomic<long> cutAt{0};           // ...after this absolute offset
    std::atomic<bool> ignoreRange{false};   // whole file with 200 to a range request
    std::atomic<int> truncateGets{0};     // the next N GETs end early without an error
    std::atomic<bool> redirectBodies{false};  // GET of a file redirects to the CDN
    std::atomic<long> stallAt{-1};        // bodies pause at this offset until it is cleared...
    std::atomic<int> stallGets{-1};       // ...in the next N body GETs (-1: in every one)
    std::atomic<int> corruptGets{0};      // the next N body GETs carry one wrong byte

    platform::net::LoopbackServer server;
    platform::net::LoopbackServer cdn;

    LoopbackHub() {
        auto& s = server.server();
        s.Get(R"(/api/(models|datasets|spaces)/(.+)/revision/([^/]+))",
              [this](const httplib::Request& req, httplib::Response& res) {
                  if (!authorized(req, res)) return;
                  if (req.matches[2] != repoId) {
                      res.status = 404;
                      return;
                  }
                  nlohmann::json body{{"id", repoId}, {"sha", commit}, {"siblings", nlohmann::json::array()}};
                  std::lock_guard lock(mutex_);
                  if (listingOverride) {
                      for (auto& n : *listingOverride) body["siblings"].push_back({{"rfilename", n}});
                  } else {
                      for (auto& [n, f] : files) body["siblings"].push_back({{"rfilename", n}});
                  }
                  res.set_content(body.dump(), "application/json");
              });
        s.Get(R"(/(.+)/resolve/([^/]+)/(.+))", [this](const httplib::Request& req, httplib::Response& res) {
            if (!authorized(req, res)) return;
            std::string id = req.matches[1], name = req.matches[3];
            RepoFile file;
            {
                std::lock_guard lock(mutex_);
                auto it = files.find(name);
                if (id != repoId || it == files.end()) {
                    res.status = 404;
                    return;
                }
                file = it->second;
            }
            bool head = req.method == "HEAD";
            if (!head && redirectBodies) {
                res.set_redirect(cdn.baseUrl() + "/blob/" + name, 302);
                return;
            }
            if (head) {
                if (!omitCommit) res.set_header("X-Repo-Commit", commit);
                std::string etag = etagFor(file);
                if (file.lfs) {
                    res.set_header("X-Linked-Etag", "\"" + etag + "\"");
                    res.set_header("X-Linked-Size", std::to_string(announcedSize.value_or(file.content.size())));
                    res.set_header("Etag", "W/\"not-the-one\"");
                } else {
                    res.set_header("Etag", "W/\"" + etag + "\"");
                }
            }
            serveBody(req, res, file.content, head);
        });
        cdn.server().Get(R"(/blob/(.+))", [this](const httplib::Request& req, httplib::Response& res) {
            std::string content;
            {
                std::lock_guard lock(mutex_);
                auto it = files.find(req.matches[1]);
                if (it == files.end()) {
                    res.status = 404;
                    return;
                }
                content = it->second.content;
            }
            serveBody(req, res, content, false);
        });
        server.start();
        cdn.start();
    }

    std::string endpoint() const { return server.baseUrl(); }

    void setFile(const std::string& name, std::string content, bool lfs = false) {
        std::lock_guard lock(mutex_);
        files[name] = RepoFile{std::move(content), lfs};
    }

    std::string etagFor(const RepoFile& f) const {
        if (etagOverride) return *etagOverride;
        if (f.lfs) return platform::net::Sha256::hex(f.content);
        return platform::net::Sha256::hex("blob " + f.content).substr(0, 40);
    }

    std::vector<platform::net::LoopbackServer::Recorded> bodyGets() const {
        std::vector<platform::net::LoopbackServer::Recorded> out;
        for (auto& r : server.requests("GET"))
            if (r.path.find("/resolve/") != std::string::npos) out.push_back(r);
        return out;
    }

    static std::string randomBytes(size_t n, unsigned seed) {
        std::mt19937 gen(seed);
        std::string s(n, '\0');
        for (auto& c : s) c = static_cast<char>(gen() & 0xff);
        return s;
    }

private:
    bool authorized(const httplib::Request& req, httplib::Response& res) {
        if (!requiredToken) return true;
        if (req.get_header_value("Authorization") == "Bearer " + *requiredToken) return true;
        res.status = 401;
        return false;
    }

    void serveBody(const httplib::Request& req, httplib::Response& res, const std::string& content, bool head) {
        size_t size = content.size();
        auto range = req.get_header_value("Range");
        size_t start = 0;
        if (!range.empty()) start = std::strtoull(range.c_str() + 6, nullptr, 10);
        if (!head && !range.empty() && start >= size) {
            res.status = 416;
            res.set_header("Content-Range", "bytes */" + std::to_string(size));
            return;
        }
        if (!head && truncateGets > 0) {
            --truncateGets;
            // Ends cleanly after half the bytes: the server calls that a success.
            res.status = 200;
            auto data = std::make_shared<std::string>(content.substr(0, size / 2));
            res.set_chunked_content_provider("application/octet-stream",
                                             [data](size_t offset, httplib::DataSink& sink) {
                                                 if (offset >= data->size()) {
                                                     sink.done();
                                                     return true;
                                                 }
                                                 sink.write(data->data() + offset, data->size() - offset);
                                                 return true;
                                             });
            return;
        }
        if (!head && !range.empty() && ignoreRange) {
            res.status = 200;
            auto data = std::make_shared<std::string>(content);
            res.set_chunked_content_provider("application/octet-stream",
                                             [data](size_t offset, httplib::DataSink& sink) {
                                                 if (offset >= data->size()) {
                                                     sink.done();
                                                     return true;
                                                 }
                                                 sink.write(data->data() + offset, std::min<size_t>(65536, data->size() - offset));
                                                 return true;
                                             });
            return;
        }
        bool cut = !head && cutGets > 0;
        if (cut) --cutGets;
        long cutOffset = cutAt;
        auto data = std::make_shared<std::string>(content);
        if (!head && corruptGets > 0 && !data->empty()) {
            --corruptGets;
            (*data)[data->size() / 2] ^= 0x5a;
        }
        bool stalls = !head && stallGets != 0;
        if (stalls && stallGets > 0) --stallGets;
        res.set_content_provider(size, "application/octet-stream",
                                 [this, data, cut, cutOffset, stalls](size_t offset, size_t length, httplib::DataSink& sink) {
                                     size_t n = std::min<size_t>(length, 16384);
                                     if (cut && static_cast<long>(offset) >= cutOffset) return false;
                                     if (cut) n = std::min<size_t>(n, static_cast<size_t>(cutOffset) - offset);
                                     long stall = stalls ? stallAt.load() : -1;
                                     if (stall >= 0 && static_cast<long>(offset) >= stall) {
                                         std::this_thread::sleep_for(std::chrono::milliseconds(2));
                                         return true;
                                     }
                                     if (stall >= 0) n = std::min<size_t>(n, static_cast<size_t>(stall) - offset);
                                     sink.write(data->data() + offset, n);
                                     return true;
                                 });
    }

    std::mutex mutex_;
};

using parlox::testing::TemporaryFolder;

// Sets an environment variable for one scope.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        if (value) {
            ::setenv(name, value, 1);
        } else {
            ::unsetenv(name);
        }
    }
    ~ScopedEnv() {
        if (old_) {
            ::setenv(name_.c_str(), old_->c_str(), 1);
        } else {
            ::unsetenv(name_.c_str());
        }
    }

private:
    std::string name_;
    std::optional<std::string> old_;
};

using parlox::testing::readFile;

inline void writeFile(const std::filesystem::path& p, const std::string& content) {
    std::filesystem::create_directories(p.parent_path());
    std::ofstream out(p, std::ios::binary);
    out << content;
}

}  // namespace hubtest
