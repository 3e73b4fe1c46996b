// A repository listing from the hub: the input is the body of the listing
// request, served by a scripted client that also serves every listed file.
// The listing reads or gives one of the project's errors, and a snapshot
// writes nothing outside the repository's folder: a listing with an unsafe
// name writes nothing at all.
#include <set>

#include "ZezeziCore/External/Hub/HubApi.hpp"
#include "fuzz/FuzzSupport.hpp"
#include "platform/net/fake/FakeHttpClient.hpp"

namespace fs = std::filesystem;
using namespace parlox::fuzzing;
using platform::net::FakeHttpClient;

namespace {

const Hub::HubApi::Repo kRepo{"fuzz/model"};

std::shared_ptr<FakeHttpClient> serving(std::string listing) {
    auto http = std::make_shared<FakeHttpClient>();
    http->setHandler([listing = std::move(listing)](const platform::net::HttpRequest& request) {
        FakeHttpClient::Reply reply;
        if (request.url.path().find("/api/") == 0) {
            reply.body = listing;
        } else if (request.method == "HEAD") {
            reply.headers.set("X-Repo-Commit", std::string(40, 'a'));
            reply.headers.set("ETag", "\"e\"");
            reply.headers.set("Content-Length", "1");
        } else {
            reply.body = "x";
        }
        return reply;
    });
    return http;
}

Hub::HubApi hubFor(std::shared_ptr<FakeHttpClient> http) {
    Hub::HubApi hub;
    hub.downloadBase = scratchFolder() / "hub";
    hub.endpoint = "http://127.0.0.1:1";
    hub.useOfflineMode = false;
    hub.http = std::move(http);
    hub.downloadRetryDelay = std::chrono::milliseconds(0);
    return hub;
}

// Every file under the download base, links included, never followed.
std::vector<fs::path> filesUnder(const fs::path& folder) {
    std::vector<fs::path> files;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
        if (!it->is_directory(ec) || it->is_symlink(ec)) files.push_back(it->path());
    return files;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto http = serving(std::string(bytes(data, size)));
    const Hub::HubApi hub = hubFor(http);
    fs::remove_all(hub.downloadBase);

    std::vector<std::string> names;
    try {
        names = hub.getFilenames(kRepo, "main");
        for (const char* glob : {"*.json", "*/*", "config.json", "[a-z]*.?*"}) (void)hub.getFilenames(kRepo, "main", {glob});
    } catch (const platform::Error&) {
        return 0;
    }
    if (names.size() > 32) return 0;  // a snapshot fetches each: keep inputs quick

    const fs::path repoFolder = hub.localRepoLocation(kRepo);
    bool refused = false;
    try {
        hub.snapshot(kRepo, "main");
    } catch (const Hub::HubClientError& e) {
        refused = e.kind() == Hub::HubClientError::Kind::parseError;
    } catch (const platform::Error&) {
    }
    for (const auto& file : filesUnder(hub.downloadBase)) {
        const auto relative = file.lexically_relative(repoFolder);
        if (relative.empty() || *relative.begin() == "..")
            violated("a snapshot wrote " + file.string() + " outside " + repoFolder.string());
        if (refused) violated("a refused listing still wrote " + file.string());
    }
    return 0;
}
