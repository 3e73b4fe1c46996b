// Downloads one large file (1 GiB by default) from a hub on 127.0.0.1 through
// the snapshot road (listing, HEAD, streamed ranged GET into the cache) and
// with the curl command on the same URL, and prints the throughput of both,
// their ratio, and how much the peak resident memory grew. The server makes
// the body on the fly, so neither side holds the file in memory.
//
//   hub_download_bench [--size-mib N] [--rounds R] [--dir FOLDER]

#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <string>
#include <vector>

#include "ZezeziCore/External/Hub/HubApi.hpp"
#include "platform/net/Sha256.hpp"
#include "platform/net/fake/LoopbackServer.hpp"

namespace fs = std::filesystem;

namespace {

constexpr size_t kBlock = 1 << 20;

// The byte at any offset, without storing the file.
const std::vector<char>& pattern() {
    static const std::vector<char> block = [] {
        std::vector<char> b(kBlock + 4096);
        std::mt19937 gen(42);
        for (auto& c : b) c = static_cast<char>(gen());
        return b;
    }();
    return block;
}

void produce(size_t offset, size_t length, const std::function<void(const char*, size_t)>& out) {
    while (length > 0) {
        size_t inBlock = offset % kBlock;
        size_t n = std::min(length, std::min<size_t>(kBlock - inBlock + 0, 256 * 1024));
        n = std::max<size_t>(n, 1);
        out(pattern().data() + inBlock, n);
        offset += n;
        length -= n;
    }
}

uint64_t peakResidentKiB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0) return std::strtoull(line.c_str() + 6, nullptr, 10);
    return 0;
}

uint64_t residentKiB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0) return std::strtoull(line.c_str() + 6, nullptr, 10);
    return 0;
}

double seconds(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    size_t sizeMiB = 1024;
    int rounds = 2;
    fs::path dir = fs::temp_directory_path();
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string a = argv[i];
        if (a == "--size-mib") sizeMiB = std::stoul(argv[i + 1]);
        if (a == "--rounds") rounds = std::max(1, std::atoi(argv[i + 1]));
        if (a == "--dir") dir = argv[i + 1];
    }
    const size_t size = sizeMiB << 20;
    const std::string commit(40, 'c');
    const std::string etag = "0123456789abcdef0123456789abcdef01234567";

    platform::net::LoopbackServer server;
    auto& s = server.server();
    s.Get("/api/models/bench/big/revision/main", [](const httplib::Request&, httplib::Response& res) {
        res.set_content(R"({"siblings":[{"rfilename":"big.bin"}]})", "application/json");
    });
    s.Get("/bench/big/resolve/main/big.bin", [&](const httplib::Request& req, httplib::Response& res) {
        if (req.method == "HEAD") {
            res.set_header("X-Repo-Commit", commit);
            res.set_header("Etag", "\"" + etag + "\"");
        }
        res.set_content_provider(size, "application/octet-stream",
                                 [](size_t offset, size_t length, httplib::DataSink& sink) {
                                     produce(offset, std::min<size_t>(length, 1 << 20),
                                             [&](const char* d, size_t n) { sink.write(d, n); });
                                     return true;
                                 });
    });
    server.start();
    const std::string url = server.baseUrl() + "/bench/big/resolve/main/big.bin";

    std::random_device rd;
    fs::path work = dir / ("hub-bench-" + std::to_string(rd()));
    fs::create_directories(work);

    // Expected digest, computed from the generator.
    platform::net::Sha256 expected;
    produce(0, size, [&](const char* d, size_t n) { expected.update(d, n); });
    const std::string expectedHash = expected.finishHex();

    Hub::HubApi api;
    api.endpoint = server.baseUrl();
    api.useOfflineMode = false;

    double bestCurl = 1e30, bestOurs = 1e30;
    uint64_t peakGrowthKiB = 0;
    bool identical = true;
    for (int round = 0; round < rounds; ++round) {
        fs::path curlFile = work / "curl.bin";
        auto start = std::chrono::steady_clock::now();
        std::string command = "curl -s -f -o '" + curlFile.string() + "' '" + url + "'";
        int rc = std::system(command.c_str());
        double curlTime = seconds(start);
        if (rc != 0 || fs::file_size(curlFile) != size) {
            std::cerr << "curl failed (" << rc << ")\n";
            fs::remove_all(work);
            return 1;
        }
        fs::remove(curlFile);
        bestCurl = std::min(bestCurl, curlTime);

        api.downloadBase = work / ("cache" + std::to_string(round));
        uint64_t peakBefore = peakResidentKiB();
        start = std::chrono::steady_clock::now();
        auto folder = api.snapshot({"bench/big"}, "main");
        double ours = seconds(start);
        peakGrowthKiB = std::max(peakGrowthKiB, peakResidentKiB() - peakBefore);
        bestOurs = std::min(bestOurs, ours);
        if (round == 0) identical = api.computeFileHash(folder / "big.bin") == expectedHash;
        fs::remove_all(api.downloadBase);
    }
    fs::remove_all(work);

    double mib = static_cast<double>(size) / (1 << 20);
    std::printf("file: %zu MiB, best of %d rounds\n", sizeMiB, rounds);
    std::printf("curl:     %8.3f s  %8.1f MiB/s\n", bestCurl, mib / bestCurl);
    std::printf("snapshot: %8.3f s  %8.1f MiB/s\n", bestOurs, mib / bestOurs);
    std::printf("throughput ratio (snapshot / curl): %.3f (goal >= 0.9)\n", bestCurl / bestOurs);
    std::printf("peak resident growth during a download: %.1f MiB (resident now %.1f MiB)\n",
                static_cast<double>(peakGrowthKiB) / 1024, static_cast<double>(residentKiB()) / 1024);
    std::printf("byte-identical (SHA-256): %s\n", identical ? "yes" : "NO");
    return identical ? 0 : 1;
}
