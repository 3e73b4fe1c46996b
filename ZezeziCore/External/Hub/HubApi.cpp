#include "ZezeziCore/External/Hub/HubApi.hpp"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <nlohmann/json.hpp>
#include <regex>
#include <set>
#include <system_error>

#include "ZezeziCore/External/Hub/Extensions/ArrayExtensions.hpp"
#include "platform/foundation/FileManager.hpp"
#include "platform/foundation/Trim.hpp"
#include "platform/log/SystemLog.hpp"
#include "platform/net/Sha256.hpp"

namespace Hub {

namespace fs = std::filesystem;
using platform::net::HttpRequest;
using platform::net::HttpResponse;
using platform::net::Url;
using platform::net::UrlError;

namespace {

void checkStatus(const HttpResponse& response, const Url& url, int low, int high) {
    int status = response.status;
    if (status >= low && status <= high) return;
    if (status == 401 || status == 403) throw HubClientError::authorizationRequired(status);
    if (status == 404) throw HubClientError::fileNotFound(url.lastPathComponent());
    if (status <= 0) throw HubClientError::unexpectedError();
    throw HubClientError::httpStatusCode(status);
}

std::string trimmed(std::string_view s) { return platform::trimmingAscii(s, platform::kAsciiWhitespace); }

std::string fileUrlText(const fs::path& path) {
    std::error_code ec;
    auto absolute = fs::absolute(path, ec);
    return "file://" + (ec ? path : absolute).string();
}

std::string formatTimestamp(double seconds) {
    char buffer[64];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, seconds, std::chars_format::fixed);
    std::string text(buffer, ec == std::errc() ? end : buffer);
    if (text.find('.') == std::string::npos) text += ".0";
    return text;
}

// Whether a time in seconds since 1970 converts to the clock's nanosecond
// count (about the years 1678 to 2262); a cast beyond it is undefined.
bool fitsTheClock(double seconds) {
    const double nanoseconds = seconds * 1e9;
    return std::isfinite(nanoseconds) && nanoseconds >= -9223372036854775808.0 && nanoseconds < 9223372036854775808.0;
}

std::optional<int64_t> parseSize(const std::string& text) {
    if (text.empty()) return std::nullopt;
    size_t i = 0;
    bool negative = false;
    if (text[0] == '+' || text[0] == '-') {
        negative = text[0] == '-';
        i = 1;
    }
    if (i == text.size()) return std::nullopt;
    int64_t value = 0;
    auto [ptr, ec] = std::from_chars(text.data() + i, text.data() + text.size(), value);
    if (ec != std::errc() || ptr != text.data() + text.size()) {
        // from_chars rejects INT64_MIN's magnitude; handle it explicitly.
        if (negative && text.substr(1) == "9223372036854775808") return INT64_MIN;
        return std::nullopt;
    }
    return negative ? -value : value;
}

}  // namespace

std::string HubApi::rawValue(RepoType type) {
    switch (type) {
        case RepoType::models: return "models";
        case RepoType::datasets: return "datasets";
        case RepoType::spaces: return "spaces";
    }
    return "models";
}

std::optional<HubApi::RepoType> HubApi::repoType(std::string_view raw) {
    if (raw == "models") return RepoType::models;
    if (raw == "datasets") return RepoType::datasets;
    if (raw == "spaces") return RepoType::spaces;
    return std::nullopt;
}

std::string HubApi::EnvironmentError::description() const {
    switch (kind_) {
        case Kind::invalidMetadataError: return "Invalid metadata: " + text_;
        case Kind::offlineModeError: return "Offline mode error: " + text_;
        case Kind::fileIntegrityError: return "File integrity check failed: " + text_;
        case Kind::fileWriteError: return "Failed to write file: " + text_;
    }
    return text_;
}

void HubApi::logError(const std::string& message) const {
    if (logSink) {
        logSink(message);
        return;
    }
    static const platform::SystemLogger logger("qz.tamo.Parlox", "hub");
    logger.error(message);
}

HttpResponse HubApi::httpGet(const Url& url, std::stop_token stop) const {
    HttpRequest request;
    request.url = url;
    request.bearerToken = hfToken;
    request.idleTimeout = 60;
    try {
        auto response = http->send(request, stop);
        checkStatus(response, url, 200, 299);
        return response;
    } catch (const HubClientError&) {
        throw;
    } catch (const std::exception& e) {
        throw HubClientError::downloadError(describeError(e));
    }
}

HttpResponse HubApi::httpHead(const Url& url, std::stop_token stop) const {
    HttpRequest request;
    request.method = "HEAD";
    request.url = url;
    request.bearerToken = hfToken;
    request.idleTimeout = 60;
    request.followRedirects = false;
    request.headers.set("Accept-Encoding", "identity");
    const Url first = url;
    // Only host-less redirects are followed, on the first request's origin,
    // with its headers; a redirect elsewhere comes back to the caller.
    for (int hop = 0;; ++hop) {
        auto response = http->send(request, stop);
        auto location = response.headers.value("Location");
        bool relative = response.status >= 300 && response.status <= 399 && location && !location->empty() &&
                        Url::isHostless(*location);
        if (!relative) {
            checkStatus(response, url, 200, 399);
            return response;
        }
        if (hop >= 10) throw UrlError(UrlError::Code::httpTooManyRedirects);
        auto target = first.resolve(*location);
        if (!target) {
            checkStatus(response, url, 200, 399);
            return response;
        }
        Url next = first.withPathAndQuery(target->path(), target->query());
        request.url = next;
        request.headers.set("Location", next.string());
    }
}

HubApi::FileMetadata HubApi::getFileMetadata(const Url& url, std::stop_token stop) const {
    auto response = httpHead(url, stop);
    FileMetadata meta;
    if (response.status == 302) {
        meta.location = response.headers.value("Location").value_or("");
    } else {
        meta.location = response.url.string();
    }
    if (meta.location.empty()) meta.location = url.string();
    meta.commitHash = response.headers.value("X-Repo-Commit");
    auto etag = response.headers.value("X-Linked-Etag");
    if (!etag) etag = response.headers.value("Etag");
    meta.etag = normalizeEtag(etag);
    auto size = response.headers.value("X-Linked-Size");
    if (!size) size = response.headers.value("Content-Length");
    meta.size = parseSize(size.value_or(""));
    return meta;
}

std::vector<std::string> HubApi::getFilenames(const Repo& repo, const std::string& revision,
                                              const std::vector<std::string>& globs, std::stop_token stop) const {
    auto base = Url::parse(endpoint);
    if (!base) throw HubClientError::downloadError("Invalid hub endpoint: \"" + endpoint + "\"");
    Url url = base->appendingPath("api").appendingPath(rawValue(repo.type)).appendingPath(repo.id)
                  .appendingPath("revision").appendingPathComponent(revision);
    auto response = httpGet(url, stop);
    SiblingsResponse listing;
    try {
        listing = nlohmann::json::parse(response.body).get<SiblingsResponse>();
    } catch (const nlohmann::json::exception&) {
        throw HubClientError::parse();
    }
    std::vector<std::string> names;
    for (auto& s : listing.siblings) names.push_back(s.rfilename);
    if (globs.empty()) return names;
    std::set<std::string> seen;
    std::vector<std::string> result;
    for (const auto& glob : globs) {
        for (auto& name : ZezeziCore::matching(names, glob))
            if (seen.insert(name).second) result.push_back(name);
    }
    return result;
}

fs::path HubApi::localRepoLocation(const Repo& repo) const {
    return downloadBase / rawValue(repo.type) / fs::path(repo.id);
}

std::optional<HubApi::LocalDownloadFileMetadata> HubApi::readDownloadMetadata(const fs::path& metadataPath) const {
    std::error_code ec;
    if (!fs::exists(metadataPath, ec)) return std::nullopt;
    try {
        std::ifstream in(metadataPath, std::ios::binary);
        if (!in) throw fs::filesystem_error("cannot read metadata file", metadataPath, std::make_error_code(std::errc::io_error));
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (in.bad()) throw fs::filesystem_error("cannot read metadata file", metadataPath, std::make_error_code(std::errc::io_error));
        std::vector<std::string> parts;
        std::string current;
        for (char c : text) {
            if (c == '\n' || c == '\r' || c == '\v' || c == '\f') {
                parts.push_back(current);
                current.clear();
            } else {
                current += c;
            }
        }
        parts.push_back(current);
        if (parts.size() < 3) throw EnvironmentError::invalidMetadataError("Metadata file is missing required fields");
        std::string stamp = trimmed(parts[2]);
        double seconds = 0;
        // A leading "+" reads like any other sign.
        std::string_view digits = stamp;
        if (digits.size() > 1 && digits[0] == '+' && digits[1] != '-' && digits[1] != '+') digits.remove_prefix(1);
        auto [ptr, err] = std::from_chars(digits.data(), digits.data() + digits.size(), seconds);
        if (digits.empty() || err != std::errc() || ptr != digits.data() + digits.size() || !fitsTheClock(seconds))
            throw EnvironmentError::invalidMetadataError("Invalid timestamp format");
        LocalDownloadFileMetadata meta;
        meta.commitHash = trimmed(parts[0]);
        meta.etag = trimmed(parts[1]);
        std::string name = metadataPath.filename().string();
        const std::string suffix = ".metadata";
        // Only the suffix goes: "a.metadata.json.metadata" belongs to "a.metadata.json".
        if (name.size() >= suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
            name.resize(name.size() - suffix.size());
        meta.filename = name;
        meta.timestamp = std::chrono::system_clock::time_point(
            std::chrono::duration_cast<std::chrono::system_clock::duration>(std::chrono::duration<double>(seconds)));
        return meta;
    } catch (const EnvironmentError& e) {
        logError("Invalid metadata file " + fileUrlText(metadataPath) + ": " + e.localizedDescription() +
                 ". Removing it from disk and continuing.");
    } catch (const std::exception& e) {
        logError("Error reading metadata file " + fileUrlText(metadataPath) + ": " + describeError(e) +
                 ". Removing it from disk and continuing.");
    }
    std::error_code removeError;
    fs::remove(metadataPath, removeError);
    if (removeError)
        throw EnvironmentError::invalidMetadataError("Could not remove corrupted metadata file: " + removeError.message());
    return std::nullopt;
}

void HubApi::writeDownloadMetadata(const std::string& commitHash, const std::string& etag,
                                   const fs::path& metadataPath) const {
    double now = std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
    std::string text = commitHash + "\n" + etag + "\n" + formatTimestamp(now) + "\n";
    try {
        platform::FileManager::createDirectories(metadataPath.parent_path());
        platform::FileManager::writeAtomically(metadataPath, text);
    } catch (const std::exception& e) {
        throw EnvironmentError::fileWriteError("Failed to write metadata to " + metadataPath.string() + ": " +
                                               describeError(e));
    }
}

std::string HubApi::computeFileHash(const fs::path& file) const {
    std::FILE* f = std::fopen(file.c_str(), "rb");
    std::error_code ec;
    if (!f || fs::is_directory(file, ec)) {
        if (f) std::fclose(f);
        throw HubClientError::fileNotFound(file.filename().string());
    }
    platform::net::Sha256 hash;
    std::vector<char> block(1 << 20);
    bool failed = false;
    for (;;) {
        size_t n = std::fread(block.data(), 1, block.size(), f);
        if (n > 0) hash.update(block.data(), n);
        if (n < block.size()) {
            failed = std::ferror(f) != 0;
            break;
        }
    }
    std::fclose(f);
    // A read error must not pass for the digest of the whole file.
    if (failed)
        throw HubClientError::fileSystemError(std::make_exception_ptr(
            fs::filesystem_error("read error while hashing", file, std::make_error_code(std::errc::io_error))));
    return hash.finishHex();
}

std::optional<std::string> HubApi::normalizeEtag(const std::optional<std::string>& etag) {
    if (!etag) return std::nullopt;
    std::string_view v = *etag;
    if (v.substr(0, 2) == "W/") v.remove_prefix(2);
    while (!v.empty() && v.front() == '"') v.remove_prefix(1);
    while (!v.empty() && v.back() == '"') v.remove_suffix(1);
    return std::string(v);
}

bool HubApi::isValidHash(const std::string& text, const std::string& pattern) {
    try {
        return std::regex_search(text, std::regex(pattern));
    } catch (const std::regex_error&) {
        return false;
    }
}

std::optional<std::string> HubApi::hfTokenFromEnv() {
    for (const char* name : {"HF_TOKEN", "HUGGING_FACE_HUB_TOKEN"}) {
        const char* value = std::getenv(name);
        if (value && *value) return std::string(value);
    }
    return std::nullopt;
}

std::vector<fs::path> getFileUrls(const fs::path& folder) {
    std::vector<fs::path> files;
    std::error_code ec;
    fs::recursive_directory_iterator it(folder, ec), end;
    if (ec) return files;
    for (; it != end; it.increment(ec)) {
        if (ec) break;
        const auto& entry = *it;
        std::string name = entry.path().filename().string();
        if (!name.empty() && name.front() == '.') {
            if (entry.is_directory(ec)) it.disable_recursion_pending();
            continue;
        }
        if (entry.is_regular_file(ec)) files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

void to_json(nlohmann::json& j, const HubApi::Repo& repo) {
    j = nlohmann::json{{"id", repo.id}, {"type", HubApi::rawValue(repo.type)}};
}

void from_json(const nlohmann::json& j, HubApi::Repo& repo) {
    repo.id = j.at("id").get<std::string>();
    auto type = HubApi::repoType(j.at("type").get<std::string>());
    if (!type) throw nlohmann::json::type_error::create(302, "unknown repository type", &j);
    repo.type = *type;
}

void to_json(nlohmann::json& j, const HubApi::SiblingsResponse& response) {
    j = nlohmann::json::object();
    j["siblings"] = nlohmann::json::array();
    for (auto& s : response.siblings) j["siblings"].push_back({{"rfilename", s.rfilename}});
}

void from_json(const nlohmann::json& j, HubApi::SiblingsResponse& response) {
    response.siblings.clear();
    for (const auto& s : j.at("siblings")) response.siblings.push_back({s.at("rfilename").get<std::string>()});
}

}  // namespace Hub
