#include <gtest/gtest.h>

#include "HubTestSupport.hpp"
#include "ZezeziCore/External/Hub/Downloader.hpp"

using namespace hubtest;
using Hub::Downloader;
using Kind = Downloader::DownloadState::Kind;
namespace fs = std::filesystem;

namespace {

class DownloaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        body = LoopbackHub::randomBytes(250'000, 11);
        server.server().Get("/file", [this](const httplib::Request& req, httplib::Response& res) {
            if (cuts > 0) {
                --cuts;
                auto range = req.get_header_value("Range");
                size_t start = range.empty() ? 0 : std::strtoull(range.c_str() + 6, nullptr, 10);
                size_t stopAt = start + cutAfter;
                res.set_content_provider(body.size(), "application/octet-stream",
                                         [this, stopAt](size_t offset, size_t length, httplib::DataSink& sink) {
                                             if (offset >= stopAt) return false;
                                             sink.write(body.data() + offset, std::min(length, stopAt - offset));
                                             return true;
                                         });
                return;
            }
            res.set_content(body, "application/octet-stream");
        });
        server.server().Get("/missing", [](const httplib::Request&, httplib::Response& res) { res.status = 404; });
        server.start();
        partial = tmp.path() / "meta/file.incomplete";
        destination = tmp.path() / "repo/sub/file";
        writeFile(partial, "");
    }

    platform::net::Url url(const std::string& path) { return *platform::net::Url::parse(server.baseUrl() + path); }

    std::vector<Downloader::DownloadState> run(Downloader& d, const std::string& path, std::optional<int64_t> expected,
                                               std::optional<std::string> token = std::nullopt) {
        auto states = d.download(url(path), token, expected);
        std::vector<Downloader::DownloadState> seen;
        while (auto s = states->receive()) {
            seen.push_back(*s);
            if (s->kind == Kind::completed || s->kind == Kind::failed) break;
        }
        return seen;
    }

    platform::net::LoopbackServer server;
    TemporaryFolder tmp;
    std::string body;
    fs::path partial, destination;
    std::atomic<int> cuts{0};
    size_t cutAfter = 0;
};

}  // namespace

TEST_F(DownloaderTest, SmallFileGoesStraightToCompleted) {
    Downloader d(destination, partial);
    auto states = run(d, "/file", static_cast<int64_t>(body.size()));
    ASSERT_EQ(states.size(), 3u);
    EXPECT_EQ(states[0].kind, Kind::notStarted);
    EXPECT_EQ(states[1].kind, Kind::downloading);
    EXPECT_EQ(states[1].fraction, 0);
    EXPECT_FALSE(states[1].speed);
    EXPECT_EQ(states[2].kind, Kind::completed);
    EXPECT_EQ(states[2].location, destination);
    EXPECT_EQ(readFile(destination), body);
    EXPECT_FALSE(fs::exists(partial));
    // A late subscriber still learns the outcome.
    auto late = d.subscribe()->receive();
    ASSERT_TRUE(late);
    EXPECT_EQ(late->kind, Kind::completed);
}

TEST_F(DownloaderTest, ProgressPerChunkAndResumeFraction) {
    writeFile(partial, body.substr(0, 62'500));
    Downloader d(destination, partial, false, 50'000);
    auto states = run(d, "/file", 250'000, std::string("t"));
    ASSERT_GE(states.size(), 3u);
    EXPECT_DOUBLE_EQ(states[1].fraction, 0.25);
    std::vector<double> fractions;
    for (auto& s : states)
        if (s.kind == Kind::downloading && s.speed) fractions.push_back(s.fraction);
    EXPECT_EQ(fractions, (std::vector<double>{0.45, 0.65, 0.85}));
    EXPECT_EQ(states.back().kind, Kind::completed);
    EXPECT_EQ(readFile(destination), body);
    auto req = server.requests("GET");
    ASSERT_EQ(req.size(), 1u);
    EXPECT_EQ(req[0].header("Range"), "bytes=62500-");
    EXPECT_EQ(req[0].header("Authorization"), "Bearer t");
}

TEST_F(DownloaderTest, ExistingDestinationIsReplaced) {
    writeFile(destination, "old content");
    Downloader d(destination, partial);
    EXPECT_EQ(run(d, "/file", std::nullopt).back().kind, Kind::completed);
    EXPECT_EQ(readFile(destination), body);
}

TEST_F(DownloaderTest, SixBrokenBodiesInARowFailAndBudgetComesBackWithAChunk) {
    cuts = 6;
    cutAfter = 1000;
    Downloader d(destination, partial, false, 50'000);
    d.setRetryDelay(std::chrono::milliseconds(1));
    auto states = run(d, "/file", 250'000);
    ASSERT_EQ(states.back().kind, Kind::failed);
    EXPECT_THROW(std::rethrow_exception(states.back().error), platform::net::UrlError);
    EXPECT_EQ(server.requests("GET").size(), 6u);
    EXPECT_FALSE(fs::exists(destination));

    // With a whole chunk written between failures every cut is retried.
    server.clearRequests();
    writeFile(partial, "");
    cuts = 9;
    cutAfter = 60'000;
    Downloader again(destination, partial, false, 50'000);
    again.setRetryDelay(std::chrono::milliseconds(1));
    EXPECT_EQ(run(again, "/file", 250'000).back().kind, Kind::completed);
    EXPECT_EQ(readFile(destination), body);
}

TEST_F(DownloaderTest, SizeChecks) {
    Downloader none(destination, partial);
    EXPECT_EQ(run(none, "/file", std::nullopt).back().kind, Kind::completed);

    writeFile(partial, "");
    Downloader zero(tmp.path() / "zero", partial, false, 100'000);
    auto states = run(zero, "/file", 0);
    EXPECT_EQ(states.back().kind, Kind::failed);
    for (auto& s : states) {
        if (s.kind == Kind::downloading) {
            EXPECT_EQ(s.fraction, 0);
        }
    }
    EXPECT_FALSE(fs::exists(tmp.path() / "zero"));
    // A partial file longer than the expected file is not trusted.
    EXPECT_EQ(fs::file_size(partial), 0u);
}

TEST_F(DownloaderTest, HttpErrorsAndMissingPartialFile) {
    Downloader d(destination, partial);
    auto states = run(d, "/missing", 10);
    ASSERT_EQ(states.back().kind, Kind::failed);
    try {
        std::rethrow_exception(states.back().error);
    } catch (const Downloader::DownloadError& e) {
        EXPECT_EQ(e.kind(), Downloader::DownloadError::Kind::unexpectedError);
    }
    Downloader nowhere(destination, tmp.path() / "no/such/partial");
    states = run(nowhere, "/file", std::nullopt);
    ASSERT_EQ(states.back().kind, Kind::failed);
    EXPECT_THROW(std::rethrow_exception(states.back().error), fs::filesystem_error);
}

TEST_F(DownloaderTest, IncompleteFileSize) {
    EXPECT_EQ(Downloader::incompleteFileSize(tmp.path() / "nothing"), 0);
    writeFile(partial, "12345");
    EXPECT_EQ(Downloader::incompleteFileSize(partial), 5);
}
