// A ".metadata" file of the hub's download cache (commit, etag, time stamp,
// one a line): any bytes either read, or are logged and the file removed.
#include "ZezeziCore/External/Hub/HubApi.hpp"
#include "fuzz/FuzzSupport.hpp"

namespace fs = std::filesystem;
using namespace parlox::fuzzing;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const fs::path file = scratchFolder() / "config.json.metadata";
    writeFile(file, bytes(data, size));
    Hub::HubApi hub;
    hub.downloadBase = scratchFolder();
    hub.logSink = [](const std::string&) {};
    std::optional<Hub::HubApi::LocalDownloadFileMetadata> meta;
    try {
        meta = hub.readDownloadMetadata(file);
    } catch (const platform::Error&) {
        return 0;
    }
    std::error_code ec;
    if (!meta) {
        if (fs::exists(file, ec)) violated("an unreadable metadata file was kept");
        return 0;
    }
    if (meta->filename != "config.json") violated("metadata names \"" + meta->filename + "\"");
    (void)Hub::HubApi::isValidHash(meta->etag, hub.sha256Pattern);
    (void)Hub::HubApi::isValidHash(meta->commitHash, hub.commitHashPattern);
    // The time stamp is written back as seconds since the epoch.
    (void)std::chrono::duration<double>(meta->timestamp.time_since_epoch()).count();
    return 0;
}
