#include <fstream>
#include <iterator>

#include "ZezeziCore/External/Hub/Config.hpp"
#include "ZezeziCore/External/Hub/ConfigJSONSerialization.hpp"
#include "ZezeziCore/External/Hub/HubApi.hpp"

namespace Hub {

namespace fs = std::filesystem;

ZezeziCore::Config HubApi::configuration(const fs::path& fileURL) {
    std::ifstream in(fileURL, std::ios::binary);
    if (!in) throw fs::filesystem_error("cannot read file", fileURL, std::make_error_code(std::errc::no_such_file_or_directory));
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) throw fs::filesystem_error("cannot read file", fileURL, std::make_error_code(std::errc::io_error));
    ZezeziCore::Config config;
    std::string url = "file://" + fs::absolute(fileURL).string();
    try {
        config = ZezeziCore::JSONSerialization::bomPreservingJsonObject(bytes, {.source = fileURL.string()});
    } catch (const ZezeziCore::JSONSerializationError&) {
        throw HubClientError::jsonSerialization(
            url, "JSON Serialization failed for " + url + ". Please verify that you have set the HF_TOKEN environment variable.");
    }
    if (config.kind() != ZezeziCore::Config::Kind::dictionary) throw HubClientError::parse();
    return config;
}

}  // namespace Hub
