#include <gtest/gtest.h>

#include <fstream>

#include "HubTestSupport.hpp"
#include "ZezeziCore/External/Hub/HubApiWrapper.hpp"
#include "ZezeziCore/External/Hub/Config.hpp"
#include "platform/log/SystemLog.hpp"
#include "platform/net/fake/FakeHttpClient.hpp"
#include "ZezeziCore/External/Hub/HubFileDownloader.hpp"
#include "ZezeziCore/External/Hub/PathSafety.hpp"
#include "platform/net/fake/FakePathMonitor.hpp"

using namespace hubtest;
using Hub::HubApi;
using Hub::HubClientError;
namespace fs = std::filesystem;

TEST(HubClientErrorText, EveryCase) {
    struct Case {
        HubClientError error;
        std::string text;
    };
    std::vector<Case> cases{
        {HubClientError::authorizationRequired(std::nullopt), "Authentication required. Please provide a valid Hugging Face token."},
        {HubClientError::authorizationRequired(401), "Authentication failed with status code: 401. Please check your Hugging Face token."},
        {HubClientError::authorizationRequired(403), "Authentication failed with status code: 403. Please check your Hugging Face token."},
        {HubClientError::httpStatusCode(500), "HTTP error with status code: 500"},
        {HubClientError::httpStatusCode(-3), "HTTP error with status code: -3"},
        {HubClientError::jsonSerialization("file:///x", ""), ""},
        {HubClientError::downloadError(""), "Download failed: "},
        {HubClientError::fileNotFound("a.bin"), "File not found: a.bin"},
        {HubClientError::networkError(platform::net::UrlError(platform::net::UrlError::Code::notConnectedToInternet)),
         "Network error: The Internet connection appears to be offline."},
        {HubClientError::resourceNotFound("org/x"), "Resource not found: org/x"},
        {HubClientError::configurationMissing("tokenizer.json"), "Required configuration file missing: tokenizer.json"},
        {HubClientError::fileSystemError(std::make_exception_ptr(std::runtime_error("disk"))), "File system error: disk"},
        {HubClientError::parseError("p"), "Parse error: p"},
        {HubClientError::parse(), "Failed to parse server response."},
        {HubClientError::unexpectedError(), "An unexpected error occurred."},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.error.localizedDescription(), c.text);
        EXPECT_STREQ(c.error.what(), c.text.c_str());
    }
}

TEST(HubApiEtag, Normalisation) {
    EXPECT_EQ(HubApi::normalizeEtag(std::string("W/\"abc\"")), "abc");
    EXPECT_EQ(HubApi::normalizeEtag(std::string("\"abc\"")), "abc");
    EXPECT_EQ(HubApi::normalizeEtag(std::string("abc")), "abc");
    EXPECT_FALSE(HubApi::normalizeEtag(std::nullopt));
    EXPECT_TRUE(HubApi::isValidHash(std::string(40, 'a'), "^[0-9a-f]{40}$"));
    EXPECT_FALSE(HubApi::isValidHash(std::string(40, 'A'), "^[0-9a-f]{40}$"));
    EXPECT_FALSE(HubApi::isValidHash(std::string(41, 'a'), "^[0-9a-f]{40}$"));
    EXPECT_FALSE(HubApi::isValidHash("a", "(["));
}

TEST(HubApiMetadata, WrittenAndReadBack) {
    TemporaryFolder tmp;
    HubApi api;
    auto path = tmp.path() / "deep/a/b.json.metadata";
    api.writeDownloadMetadata(hex40('c'), "etag1", path);
    auto text = readFile(path);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 3);
    auto meta = api.readDownloadMetadata(path);
    ASSERT_TRUE(meta);
    EXPECT_EQ(meta->commitHash, hex40('c'));
    EXPECT_EQ(meta->etag, "etag1");
    EXPECT_EQ(meta->filename, "b.json");
    auto age = std::chrono::system_clock::now() - meta->timestamp;
    EXPECT_LT(std::chrono::abs(age), std::chrono::seconds(5));
    auto stamp = readLines(path)[2];
    EXPECT_EQ(stamp.find('e'), std::string::npos);
    EXPECT_NE(stamp.find('.'), std::string::npos);
}

TEST(HubApiMetadata, CorruptFilesAreLoggedDeletedAndAbsent) {
    TemporaryFolder tmp;
    HubApi api;
    std::vector<std::string> logged;
    api.logSink = [&](const std::string& m) { logged.push_back(m); };
    for (std::string bad : {"one\ntwo", "c\ne\nnot-a-number\n", "c\ne\n12.5x\n", ""}) {
        auto path = tmp.path() / "x.metadata";
        writeFile(path, bad);
        EXPECT_FALSE(api.readDownloadMetadata(path)) << bad;
        EXPECT_FALSE(fs::exists(path)) << bad;
    }
    ASSERT_EQ(logged.size(), 4u);
    EXPECT_EQ(logged[0].rfind("Invalid metadata file file://" + (tmp.path() / "x.metadata").string() + ": ", 0), 0u);
    EXPECT_NE(logged[0].find("Metadata file is missing required fields. Removing it from disk and continuing."), std::string::npos);
    EXPECT_NE(logged[1].find("Invalid timestamp format"), std::string::npos);
    logged.clear();
    EXPECT_FALSE(api.readDownloadMetadata(tmp.path() / "missing.metadata"));
    EXPECT_TRUE(logged.empty());
    // Extra lines are ignored; blanks around the values are trimmed.
    writeFile(tmp.path() / "y.metadata", " c \n e\n1700000000.5\nextra\n");
    auto meta = api.readDownloadMetadata(tmp.path() / "y.metadata");
    ASSERT_TRUE(meta);
    EXPECT_EQ(meta->commitHash, "c");
    EXPECT_EQ(meta->etag, "e");
    // Only the final ".metadata" leaves the name; a signed time reads as a number.
    writeFile(tmp.path() / "z.metadata.txt.metadata", "c\ne\n+1700000000.25\n");
    meta = api.readDownloadMetadata(tmp.path() / "z.metadata.txt.metadata");
    ASSERT_TRUE(meta);
    EXPECT_EQ(meta->filename, "z.metadata.txt");
    EXPECT_NEAR(std::chrono::duration<double>(meta->timestamp.time_since_epoch()).count(), 1700000000.25, 1e-3);
    EXPECT_TRUE(logged.empty());
}

// The clock holds about the years 1678 to 2262: a time stamp beyond that
// (or no number at all) cannot be kept, so the file is invalid like any
// other unreadable one.
TEST(HubApiMetadata, TimeStampsTheClockCannotHoldAreInvalid) {
    TemporaryFolder tmp;
    HubApi api;
    std::vector<std::string> logged;
    api.logSink = [&](const std::string& m) { logged.push_back(m); };
    const std::string kept = "-9000000000.5";  // 1684, inside the range
    writeFile(tmp.path() / "kept.metadata", "c\ne\n" + kept + "\n");
    auto meta = api.readDownloadMetadata(tmp.path() / "kept.metadata");
    ASSERT_TRUE(meta);
    EXPECT_NEAR(std::chrono::duration<double>(meta->timestamp.time_since_epoch()).count(), -9000000000.5, 1e-3);
    // The first was found by the fuzzer: a form feed ends a line too, and an
    // eleven-digit time is the year 2519.
    for (std::string bad : {std::string("\xff\xff" "aaaa\f5\n17337337885\n"), std::string("c\ne\n1e300\n"),
                            std::string("c\ne\n-9300000000\n"), std::string("c\ne\ninf\n"), std::string("c\ne\nnan\n")}) {
        const auto path = tmp.path() / "x.metadata";
        writeFile(path, bad);
        EXPECT_FALSE(api.readDownloadMetadata(path)) << bad;
        EXPECT_FALSE(fs::exists(path)) << bad;
        ASSERT_FALSE(logged.empty()) << bad;
        EXPECT_NE(logged.back().find("Invalid timestamp format"), std::string::npos) << logged.back();
    }
    EXPECT_EQ(logged.size(), 5u);
}

TEST(HubApiMetadata, UnwritablePlaceIsAFileWriteError) {
    TemporaryFolder tmp;
    writeFile(tmp.path() / "file", "x");
    HubApi api;
    try {
        api.writeDownloadMetadata("c", "e", tmp.path() / "file/sub/a.metadata");
        FAIL();
    } catch (const HubApi::EnvironmentError& e) {
        EXPECT_EQ(e.kind(), HubApi::EnvironmentError::Kind::fileWriteError);
        EXPECT_EQ(e.description().rfind("Failed to write file: Failed to write metadata to ", 0), 0u);
    }
}

TEST(HubApiHash, FilesAndMissingFiles) {
    TemporaryFolder tmp;
    HubApi api;
    writeFile(tmp.path() / "empty", "");
    EXPECT_EQ(api.computeFileHash(tmp.path() / "empty"), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    auto big = LoopbackHub::randomBytes(3 << 20, 7);
    writeFile(tmp.path() / "big", big);
    EXPECT_EQ(api.computeFileHash(tmp.path() / "big"), platform::net::Sha256::hex(big));
    try {
        api.computeFileHash(tmp.path() / "nope.bin");
        FAIL();
    } catch (const HubClientError& e) {
        EXPECT_EQ(e.description(), "File not found: nope.bin");
    }
    // A folder cannot be read as a file: never a digest of nothing.
    EXPECT_THROW(api.computeFileHash(tmp.path()), HubClientError);
    // A read error is an error, not the digest of what was read before it.
    try {
        api.computeFileHash("/proc/self/mem");
        FAIL();
    } catch (const HubClientError& e) {
        EXPECT_EQ(e.kind(), HubClientError::Kind::fileSystemError);
    }
}

TEST(HubApiEnvironment, TokenComesFromTheFirstNonEmptyVariable) {
    {
        ScopedEnv a("HF_TOKEN", "first");
        ScopedEnv b("HUGGING_FACE_HUB_TOKEN", "second");
        EXPECT_EQ(HubApi::hfTokenFromEnv(), "first");
    }
    {
        ScopedEnv a("HF_TOKEN", "");
        ScopedEnv b("HUGGING_FACE_HUB_TOKEN", "second");
        EXPECT_EQ(HubApi::hfTokenFromEnv(), "second");
    }
    ScopedEnv a("HF_TOKEN", nullptr);
    ScopedEnv b("HUGGING_FACE_HUB_TOKEN", nullptr);
    EXPECT_FALSE(HubApi::hfTokenFromEnv());
}

TEST(HubApiNetwork, MonitorDrivesOfflineDecisionUnlessDisabledForCi) {
    auto fake = std::make_unique<platform::net::FakePathMonitor>();
    auto* monitor = fake.get();
    HubApi::NetworkMonitor network(std::move(fake));
    network.startMonitoring();
    EXPECT_EQ(monitor->starts(), 1);
    ScopedEnv ci("CI_DISABLE_NETWORK_MONITOR", nullptr);
    EXPECT_FALSE(network.state().shouldUseOfflineMode());
    monitor->push({platform::net::NetworkPath::Status::unsatisfied, true, true});
    EXPECT_TRUE(network.state().shouldUseOfflineMode());
    EXPECT_TRUE(network.state().isExpensive());
    for (const char* value : {"true", "01", ""}) {
        ScopedEnv other("CI_DISABLE_NETWORK_MONITOR", value);
        EXPECT_TRUE(network.state().shouldUseOfflineMode()) << value;
    }
    ScopedEnv one("CI_DISABLE_NETWORK_MONITOR", "1");
    EXPECT_FALSE(network.state().shouldUseOfflineMode());
}

TEST(HubApiListing, UrlGlobsAndErrors) {
    LoopbackHub hub;
    hub.setFile("config.json", "{}");
    hub.setFile("sub/a.json", "{}");
    hub.setFile("model.bin", "x");
    TemporaryFolder tmp;
    auto api = makeApi(hub, tmp.path());
    auto names = api.getFilenames({"org/model"}, "main", {"*.json", "config.json"});
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"config.json", "sub/a.json"}));
    EXPECT_EQ(api.getFilenames({"org/model"}, "main", {"*"}).size(), 3u);
    EXPECT_EQ(api.getFilenames({"org/model"}, "main").size(), 3u);
    EXPECT_EQ(hub.server.requests().back().path, "/api/models/org/model/revision/main");
    // A revision with slashes is one path segment.
    EXPECT_THROW(api.getFilenames({"org/model"}, "refs/pr/1"), HubClientError);
    EXPECT_EQ(hub.server.requests().back().target, "/api/models/org/model/revision/refs%2Fpr%2F1");

    auto failure = [&](const std::string& repo) -> HubClientError {
        try {
            api.getFilenames({repo}, "main");
        } catch (const HubClientError& e) {
            return e;
        }
        ADD_FAILURE() << "the listing of " << repo << " succeeded";
        return HubClientError::unexpectedError();
    };
    EXPECT_EQ(failure("org/other").description(), "File not found: main");
    hub.requiredToken = "t";
    EXPECT_EQ(failure("org/model").statusCode(), 401);
    // No usable endpoint, or nothing listening there: a download error.
    for (std::string endpoint : {"", "http://127.0.0.1:1"}) {
        api.endpoint = endpoint;
        EXPECT_EQ(failure("org/model").kind(), HubClientError::Kind::downloadError) << endpoint;
    }
}

TEST(HubApiHead, RelativeRedirectIsFollowedAndAbsoluteOneReturned) {
    platform::net::LoopbackServer server;
    server.server().Get("/rel", [](const httplib::Request&, httplib::Response& res) {
        res.status = 307;
        res.set_header("Location", "/target?x=1&next=http://elsewhere.invalid/");
    });
    server.server().Get("/abs", [](const httplib::Request&, httplib::Response& res) {
        res.set_redirect("http://elsewhere.invalid/file", 302);
        res.set_header("X-Repo-Commit", std::string(40, 'd'));
    });
    server.server().Get("/nolocation", [](const httplib::Request&, httplib::Response& res) { res.status = 302; });
    server.server().Get("/target", [](const httplib::Request&, httplib::Response& res) {
        res.set_header("X-Repo-Commit", std::string(40, 'e'));
        res.set_header("Etag", "\"e1\"");
        res.set_content("12345", "text/plain");
    });
    server.server().Get("/gone", [](const httplib::Request&, httplib::Response& res) { res.status = 500; });
    server.start();
    HubApi api;
    api.hfToken = "tok";
    auto base = *platform::net::Url::parse(server.baseUrl());

    auto meta = api.getFileMetadata(base.appendingPath("rel"));
    EXPECT_EQ(meta.commitHash, std::string(40, 'e'));
    EXPECT_EQ(meta.etag, "e1");
    EXPECT_EQ(meta.size, 5);
    EXPECT_EQ(meta.location, server.baseUrl() + "/target?x=1&next=http://elsewhere.invalid/");
    auto seen = server.requests("HEAD");
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[1].header("Authorization"), "Bearer tok");
    EXPECT_EQ(seen[1].header("Accept-Encoding"), "identity");
    EXPECT_EQ(seen[1].header("Location"), server.baseUrl() + "/target?x=1&next=http://elsewhere.invalid/");

    meta = api.getFileMetadata(base.appendingPath("abs"));
    EXPECT_EQ(meta.location, "http://elsewhere.invalid/file");
    EXPECT_EQ(meta.commitHash, std::string(40, 'd'));
    meta = api.getFileMetadata(base.appendingPath("nolocation"));
    EXPECT_EQ(meta.location, server.baseUrl() + "/nolocation");
    try {
        api.getFileMetadata(base.appendingPath("gone"));
        FAIL();
    } catch (const HubClientError& e) {
        EXPECT_EQ(e.statusCode(), 500);
    }
}

TEST(HubFileDownloaderPaths, SourceAndCachePlaces) {
    HubApi::HubFileDownloader d;
    d.repo = HubApi::Repo("org/set", HubApi::RepoType::datasets);
    d.revision = "refs/pr/1";
    d.relativeFilename = "a/b.json";
    d.endpoint = "http://h:1";
    d.repoDestination = "/base/datasets/org/set";
    d.repoMetadataDestination = "/base/datasets/org/set/.cache/huggingface/download";
    EXPECT_EQ(d.source().string(), "http://h:1/datasets/org/set/resolve/refs%2Fpr%2F1/a/b.json");
    EXPECT_EQ(d.metadataPath(), fs::path("/base/datasets/org/set/.cache/huggingface/download/a/b.json.metadata"));
    EXPECT_EQ(d.incompletePath("E"), fs::path("/base/datasets/org/set/.cache/huggingface/download/a/b.json.E.incomplete"));
    d.repo.type = HubApi::RepoType::models;
    d.repo.id = "org/m";
    EXPECT_EQ(d.source().string(), "http://h:1/org/m/resolve/refs%2Fpr%2F1/a/b.json");
    d.endpoint = "not a url";
    EXPECT_THROW(d.source(), platform::net::UrlError);
}

TEST(HubApiWrapperTests, ArgumentsThenEnvironmentThenDefaults) {
    ScopedEnv endpoint("HF_ENDPOINT", "http://env.example:9");
    ScopedEnv token("HF_TOKEN", "envtoken");
    ScopedEnv ci("CI_DISABLE_NETWORK_MONITOR", nullptr);
    Hub::HubApiWrapper fromEnv(fs::path("/b"));
    EXPECT_EQ(fromEnv.impl.endpoint, "http://env.example:9");
    EXPECT_EQ(fromEnv.impl.hfToken, "envtoken");
    EXPECT_FALSE(fromEnv.impl.useOfflineMode);
    Hub::HubApiWrapper given(fs::path("/b"), std::string(""), std::string("http://arg:1"), true);
    EXPECT_EQ(given.impl.hfToken, "");
    EXPECT_EQ(given.impl.endpoint, "http://arg:1");
    EXPECT_TRUE(given.impl.useBackgroundSession);
    {
        ScopedEnv emptyEndpoint("HF_ENDPOINT", "");
        EXPECT_EQ(Hub::HubApiWrapper(fs::path("/b")).impl.endpoint, "");
    }
    ScopedEnv noEndpoint("HF_ENDPOINT", nullptr);
    ScopedEnv home("HOME", "/home/someone");
    ScopedEnv config("XDG_CONFIG_HOME", "/nonexistent-config");
    // The default cache follows the XDG cache folder; a relative value does not count.
    const std::pair<const char*, const char*> bases[] = {{nullptr, "/home/someone/.cache/huggingface"},
                                                         {"/xdg/cache", "/xdg/cache/huggingface"},
                                                         {"relative/cache", "/home/someone/.cache/huggingface"}};
    for (const auto& [xdg, base] : bases) {
        ScopedEnv cache("XDG_CACHE_HOME", xdg);
        Hub::HubApiWrapper defaults;
        EXPECT_EQ(defaults.impl.endpoint, HubApi::defaultEndpoint);
        EXPECT_EQ(defaults.impl.downloadBase, fs::path(base));
        EXPECT_EQ(defaults.localRepoLocation({"A/N"}), fs::path(base) / "models/A/N");
    }
}

TEST(HubApiWrapperTests, TokenPresenceIsPrintedOnlyForCi) {
    for (auto [value, expected] : std::vector<std::pair<const char*, std::string>>{
             {"1", "✅ got token\n"}, {"01", ""}, {"true", ""}, {"", ""}}) {
        ScopedEnv ci("CI_DISABLE_NETWORK_MONITOR", value);
        testing::internal::CaptureStdout();
        Hub::HubApiWrapper w(fs::path("/b"), std::string("secret"), std::string("http://x:1"));
        auto out = testing::internal::GetCapturedStdout();
        EXPECT_EQ(out, expected) << value;
        EXPECT_EQ(out.find("secret"), std::string::npos);
    }
    ScopedEnv ci("CI_DISABLE_NETWORK_MONITOR", "1");
    ScopedEnv a("HF_TOKEN", nullptr);
    ScopedEnv b("HUGGING_FACE_HUB_TOKEN", nullptr);
    testing::internal::CaptureStdout();
    Hub::HubApiWrapper w(fs::path("/b"), std::nullopt, std::string("http://x:1"));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "🔴 NO TOKEN **\n");
}

TEST(HubApiRepo, TypesAndJson) {
    EXPECT_EQ(HubApi::repoType("models"), HubApi::RepoType::models);
    EXPECT_FALSE(HubApi::repoType("Models"));
    HubApi::Repo repo("org/x", HubApi::RepoType::spaces);
    nlohmann::json j = repo;
    EXPECT_EQ(j.dump(), R"({"id":"org/x","type":"spaces"})");
    EXPECT_EQ(j.get<HubApi::Repo>(), repo);
    EXPECT_THROW((nlohmann::json{{"id", "a/b"}, {"type", "Models"}}.get<HubApi::Repo>()), nlohmann::json::exception);
    EXPECT_EQ(std::hash<HubApi::Repo>{}(repo), std::hash<HubApi::Repo>{}(HubApi::Repo("org/x", HubApi::RepoType::spaces)));
}

TEST(HubApiWrapperTests, EnvironmentEndpointAndTokenReachTheHub) {
    LoopbackHub hub;
    hub.requiredToken = "from-env";
    hub.setFile("config.json", "{}");
    TemporaryFolder tmp;
    ScopedEnv endpoint("HF_ENDPOINT", hub.endpoint().c_str());
    ScopedEnv a("HF_TOKEN", nullptr);
    ScopedEnv b("HUGGING_FACE_HUB_TOKEN", "from-env");
    ScopedEnv ci("CI_DISABLE_NETWORK_MONITOR", "1");
    Hub::HubApiWrapper wrapper(tmp.path());
    auto folder = wrapper.snapshot({"org/model"}, "main", {"config.json"});
    EXPECT_TRUE(fs::exists(folder / "config.json"));
    for (auto& r : hub.server.requests()) EXPECT_EQ(r.header("Authorization"), "Bearer from-env");
}

TEST(HubApiGet, RedirectsAreFollowedAndOtherStatusesMapped) {
    platform::net::LoopbackServer server;
    server.server().Get("/moved", [](const httplib::Request&, httplib::Response& res) { res.set_redirect("/ok", 302); });
    server.server().Get("/ok", [](const httplib::Request&, httplib::Response& res) { res.set_content("fine", "text/plain"); });
    server.server().Get("/same", [](const httplib::Request&, httplib::Response& res) { res.status = 304; });
    server.server().Get("/forbidden", [](const httplib::Request&, httplib::Response& res) { res.status = 403; });
    server.start();
    HubApi api;
    auto base = *platform::net::Url::parse(server.baseUrl());
    EXPECT_EQ(api.httpGet(base.appendingPath("moved")).body, "fine");
    for (auto [path, text] : std::vector<std::pair<std::string, std::string>>{
             {"same", "HTTP error with status code: 304"},
             {"forbidden", "Authentication failed with status code: 403. Please check your Hugging Face token."},
             {"a/b/missing.json", "File not found: missing.json"}}) {
        try {
            api.httpGet(base.appendingPath(path));
            FAIL() << path;
        } catch (const HubClientError& e) {
            EXPECT_EQ(e.description(), text);
        }
    }
    // HEAD transport failures are not wrapped.
    server.stop();
    EXPECT_THROW(api.httpHead(base.appendingPath("ok")), platform::net::UrlError);
}

TEST(PathSafetyTests, NamesThatStayInside) {
    for (const char* good : {"a", "a/b.json", "dir/.hidden", "x..y", "sub/AudioEncoder.mlmodelc/weights/weight.bin"})
        EXPECT_TRUE(Hub::isSafeRelativePath(good)) << good;
    for (const char* bad : {"", "/abs", "..", "../x", "a/../../x", "a/./b", "a//b", "a/", "a\\b", "a\nb"})
        EXPECT_FALSE(Hub::isSafeRelativePath(bad)) << bad;
    EXPECT_TRUE(Hub::isSafeFileNameComponent(std::string(64, 'a')));
    EXPECT_FALSE(Hub::isSafeFileNameComponent("a/b"));
    EXPECT_FALSE(Hub::isSafeFileNameComponent(std::string(300, 'a')));
    EXPECT_TRUE(Hub::isInside("/base/repo/a/b", "/base/repo"));
    EXPECT_FALSE(Hub::isInside("/base/repo/../other", "/base/repo"));
    EXPECT_FALSE(Hub::isInside("/base/repo", "/base/repo"));
    EXPECT_FALSE(Hub::isInside("/base/repository", "/base/repo"));
    EXPECT_TRUE(Hub::isOutside("/base/repo/a", "/base/repo/.cache"));
    EXPECT_FALSE(Hub::isOutside("/base/repo/.cache/x/../y", "/base/repo/.cache"));
    EXPECT_FALSE(Hub::isOutside("/base/repo/.cache/", "/base/repo/.cache"));
}

// The client's own settings reach the HTTP requests: the listing and the
// metadata queries wait 60 s for a byte, file bodies the download's idle time.
TEST(HubApiTransfers, RequestsCarryTheConfiguredIdleTimes) {
    auto http = std::make_shared<platform::net::FakeHttpClient>();
    const std::string body = "{\"model_type\":\"whisper\"}";
    http->setHandler([&](const platform::net::HttpRequest& r) {
        platform::net::FakeHttpClient::Reply reply;
        if (r.url.path().find("/api/") == 0) {
            reply.body = R"({"siblings":[{"rfilename":"config.json"}]})";
        } else {
            reply.headers.set("X-Repo-Commit", std::string(40, 'c'));
            reply.headers.set("Etag", "\"e1\"");
            reply.headers.set("Content-Length", std::to_string(body.size()));
            reply.body = body;
        }
        return reply;
    });
    TemporaryFolder tmp;
    Hub::HubApiWrapper wrapper(tmp.path(), std::string("t"), std::string("https://hub.example"), false, http);
    wrapper.impl.useOfflineMode = false;
    wrapper.impl.downloadIdleTimeout = 0.25;
    auto folder = wrapper.snapshot({"org/model"}, "main");
    EXPECT_EQ(readFile(folder / "config.json"), body);
    std::vector<std::pair<std::string, double>> seen;
    for (const auto& r : http->requests()) seen.emplace_back(r.method + " " + r.url.path(), r.idleTimeout);
    const std::vector<std::pair<std::string, double>> expected = {{"GET /api/models/org/model/revision/main", 60},
                                                                  {"HEAD /org/model/resolve/main/config.json", 60},
                                                                  {"GET /org/model/resolve/main/config.json", 0.25}};
    EXPECT_EQ(seen, expected);
}

TEST(HubApiConfiguration, ARepeatedKeyIsLoggedWithTheFile) {
    TemporaryFolder tmp;
    const auto file = tmp.path() / "tokenizer_config.json";
    writeFile(file, R"({"bos_token": "<a>", "bos_token": "<b>"})");
    std::vector<std::string> warnings;
    platform::SystemLog::setSink([&](platform::LogLevel level, const std::string&, const std::string&,
                                     const std::string& message) {
        if (level == platform::LogLevel::warning) warnings.push_back(message);
    });
    auto config = HubApi::configuration(file);
    platform::SystemLog::setSink(nullptr);
    EXPECT_EQ(config["bosToken"].string(), "<b>");
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0], "Duplicate key \"bos_token\" in " + file.string() + " at byte 21: the last value is kept");
}
