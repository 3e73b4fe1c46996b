#include <gtest/gtest.h>

#include <thread>

#include "HubTestSupport.hpp"
#include "ZezeziCore/External/Hub/Downloader.hpp"
#include "platform/net/Sha256.hpp"

using namespace hubtest;
using Hub::HubApi;
namespace fs = std::filesystem;

namespace {

class SnapshotOnline : public ::testing::Test {
protected:
    void SetUp() override {
        weights = LoopbackHub::randomBytes(300 * 1024 + 17, 1);
        hub.setFile("config.json", R"({"model_type":"whisper"})");
        hub.setFile("tokenizer.json", R"({"model":{}})");
        hub.setFile("enc/AudioEncoder.mlmodelc/weights/weight.bin", weights, true);
        hub.setFile("README.md", "readme");
        api = makeApi(hub, tmp.path());
    }

    fs::path repoFolder() const { return tmp.path() / "models" / "org" / "model"; }
    fs::path metaFolder() const { return repoFolder() / ".cache" / "huggingface" / "download"; }

    LoopbackHub hub;
    TemporaryFolder tmp;
    HubApi api;
    std::string weights;
};

}  // namespace

TEST_F(SnapshotOnline, LandsMatchingFilesWithMetadataInTheCacheLayout) {
    std::vector<double> fractions;
    auto folder = api.snapshot({"org/model"}, "main", {"*.json", "enc/*"},
                               [&](const Hub::Progress& p) { fractions.push_back(p.fractionCompleted()); });
    EXPECT_EQ(folder, repoFolder());
    EXPECT_EQ(readFile(folder / "config.json"), R"({"model_type":"whisper"})");
    auto bin = folder / "enc/AudioEncoder.mlmodelc/weights/weight.bin";
    EXPECT_EQ(platform::net::Sha256::hex(readFile(bin)), platform::net::Sha256::hex(weights));
    EXPECT_FALSE(fs::exists(folder / "README.md"));

    auto lines = readLines(metaFolder() / "enc/AudioEncoder.mlmodelc/weights/weight.bin.metadata");
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], hub.commit);
    EXPECT_EQ(lines[1], platform::net::Sha256::hex(weights));
    EXPECT_NE(lines[2].find('.'), std::string::npos);
    EXPECT_EQ(readLines(metaFolder() / "config.json.metadata").size(), 3u);
    // No partial file is left behind.
    for (auto& f : allFiles(metaFolder())) EXPECT_EQ(f.extension(), ".metadata") << f;
    ASSERT_FALSE(fractions.empty());
    EXPECT_DOUBLE_EQ(fractions.back(), 1.0);
}

TEST_F(SnapshotOnline, SecondSnapshotDownloadsNothing) {
    api.snapshot({"org/model"}, "main");
    auto firstGets = hub.bodyGets().size();
    EXPECT_EQ(firstGets, 4u);
    auto metaBefore = readFile(metaFolder() / "config.json.metadata");
    api.snapshot({"org/model"}, "main");
    EXPECT_EQ(hub.bodyGets().size(), firstGets);
    EXPECT_EQ(readFile(metaFolder() / "config.json.metadata"), metaBefore);
}

TEST_F(SnapshotOnline, ConnectionCutMidFileResumesWithRangeAndEndsByteIdentical) {
    hub.cutGets = 1;
    hub.cutAt = 150 * 1024;
    api.snapshot({"org/model"}, "main", {"enc/*"});
    auto gets = hub.bodyGets();
    ASSERT_EQ(gets.size(), 2u);
    EXPECT_FALSE(gets[0].hasHeader("Range"));
    // Two whole 64 KiB chunks were written before the cut.
    EXPECT_EQ(gets[1].header("Range"), "bytes=131072-");
    auto bin = repoFolder() / "enc/AudioEncoder.mlmodelc/weights/weight.bin";
    EXPECT_EQ(platform::net::Sha256::hex(readFile(bin)), platform::net::Sha256::hex(weights));
}

TEST_F(SnapshotOnline, InterruptedRunLeavesPartialFileThatTheNextRunResumes) {
    hub.cutGets = 100;
    hub.cutAt = 200 * 1024;
    EXPECT_THROW(api.snapshot({"org/model"}, "main", {"enc/*"}), platform::net::UrlError);
    auto etag = platform::net::Sha256::hex(weights);
    auto partial = metaFolder() / ("enc/AudioEncoder.mlmodelc/weights/weight.bin." + etag + ".incomplete");
    ASSERT_TRUE(fs::exists(partial));
    // Six attempts: the first, then five retries from the last whole chunk.
    auto attempts = hub.bodyGets();
    ASSERT_EQ(attempts.size(), 6u);
    EXPECT_FALSE(attempts[0].hasHeader("Range"));
    for (size_t i = 1; i < attempts.size(); ++i) EXPECT_EQ(attempts[i].header("Range"), "bytes=196608-");
    // Every byte received stays for the next run.
    EXPECT_EQ(fs::file_size(partial), 200u * 1024);
    EXPECT_EQ(readFile(partial), weights.substr(0, 200 * 1024));
    EXPECT_FALSE(fs::exists(repoFolder() / "enc/AudioEncoder.mlmodelc/weights/weight.bin"));
    EXPECT_FALSE(fs::exists(metaFolder() / "enc/AudioEncoder.mlmodelc/weights/weight.bin.metadata"));

    hub.cutGets = 0;
    hub.server.clearRequests();
    api.snapshot({"org/model"}, "main", {"enc/*"});
    auto gets = hub.bodyGets();
    ASSERT_EQ(gets.size(), 1u);
    EXPECT_EQ(gets[0].header("Range"), "bytes=204800-");
    EXPECT_EQ(readFile(repoFolder() / "enc/AudioEncoder.mlmodelc/weights/weight.bin"), weights);
    EXPECT_FALSE(fs::exists(partial));
}

TEST_F(SnapshotOnline, CompletePartialFileAfterACrashIsMovedWithoutAnotherRequest) {
    auto etag = platform::net::Sha256::hex(weights);
    auto partial = metaFolder() / ("enc/AudioEncoder.mlmodelc/weights/weight.bin." + etag + ".incomplete");
    writeFile(partial, weights);
    api.snapshot({"org/model"}, "main", {"enc/*"});
    EXPECT_TRUE(hub.bodyGets().empty());
    EXPECT_EQ(readFile(repoFolder() / "enc/AudioEncoder.mlmodelc/weights/weight.bin"), weights);
}

TEST_F(SnapshotOnline, OversizedPartialFileIsDiscardedAndFetchedAgain) {
    auto etag = platform::net::Sha256::hex(weights);
    auto partial = metaFolder() / ("enc/AudioEncoder.mlmodelc/weights/weight.bin." + etag + ".incomplete");
    writeFile(partial, weights + weights.substr(0, 1000));
    api.snapshot({"org/model"}, "main", {"enc/*"});
    ASSERT_EQ(hub.bodyGets().size(), 1u);
    EXPECT_FALSE(hub.bodyGets()[0].hasHeader("Range"));
    EXPECT_EQ(readFile(repoFolder() / "enc/AudioEncoder.mlmodelc/weights/weight.bin"), weights);
}

TEST_F(SnapshotOnline, FullReplyToARangeRequestIsNotAppendedTwice) {
    auto etag = platform::net::Sha256::hex(weights);
    auto partial = metaFolder() / ("enc/AudioEncoder.mlmodelc/weights/weight.bin." + etag + ".incomplete");
    writeFile(partial, weights.substr(0, 100'000));
    hub.ignoreRange = true;
    api.snapshot({"org/model"}, "main", {"enc/*"});
    ASSERT_EQ(hub.bodyGets().size(), 1u);
    EXPECT_EQ(hub.bodyGets()[0].header("Range"), "bytes=100000-");
    EXPECT_EQ(readFile(repoFolder() / "enc/AudioEncoder.mlmodelc/weights/weight.bin"), weights);
}

TEST_F(SnapshotOnline, ShortBodyReportedAsSuccessIsNeverTakenForTheFile) {
    hub.truncateGets = 1;
    try {
        api.snapshot({"org/model"}, "main", {"enc/*"});
        FAIL() << "a short body must fail";
    } catch (const Hub::Downloader::DownloadError& e) {
        EXPECT_EQ(e.kind(), Hub::Downloader::DownloadError::Kind::unexpectedError);
    }
    EXPECT_FALSE(fs::exists(repoFolder() / "enc/AudioEncoder.mlmodelc/weights/weight.bin"));
    EXPECT_FALSE(fs::exists(metaFolder() / "enc/AudioEncoder.mlmodelc/weights/weight.bin.metadata"));
    api.snapshot({"org/model"}, "main", {"enc/*"});
    EXPECT_EQ(hub.bodyGets().back().header("Range"), "bytes=" + std::to_string(weights.size() / 2) + "-");
    EXPECT_EQ(readFile(repoFolder() / "enc/AudioEncoder.mlmodelc/weights/weight.bin"), weights);
}

TEST_F(SnapshotOnline, RangeAnswered416IsRefusedAndThePartialFileReset) {
    // The server announces more bytes than it has; the partial file already
    // holds more than the server can send, so the range gets a 416.
    std::string small = std::string(400, 'y');
    hub.setFile("enc/AudioEncoder.mlmodelc/weights/weight.bin", small, true);
    hub.announcedSize = 1000;
    auto etag = platform::net::Sha256::hex(small);
    auto partial = metaFolder() / ("enc/AudioEncoder.mlmodelc/weights/weight.bin." + etag + ".incomplete");
    writeFile(partial, std::string(500, 'y'));
    EXPECT_THROW(api.snapshot({"org/model"}, "main", {"enc/*"}), Hub::Downloader::DownloadError);
    ASSERT_EQ(hub.bodyGets().size(), 1u);
    EXPECT_EQ(hub.bodyGets()[0].header("Range"), "bytes=500-");
    EXPECT_EQ(fs::file_size(partial), 0u);
    EXPECT_FALSE(fs::exists(repoFolder() / "enc/AudioEncoder.mlmodelc/weights/weight.bin"));
    EXPECT_FALSE(fs::exists(metaFolder() / "enc/AudioEncoder.mlmodelc/weights/weight.bin.metadata"));
}

TEST_F(SnapshotOnline, UnsafeNamesInTheListingAreRefusedBeforeAnythingIsWritten) {
    for (std::string bad : {"../escape.txt", "/etc/passwd", "a/../../b", "a//b", "a\\b", "", "./x",
                            ".cache/huggingface/download/config.json.metadata", ".cache/huggingface/download"}) {
        hub.listingOverride = std::vector<std::string>{"config.json", bad};
        hub.setFile(bad.empty() ? "empty" : bad, "evil");
        try {
            api.snapshot({"org/model"}, "main");
            FAIL() << bad;
        } catch (const Hub::HubClientError& e) {
            EXPECT_EQ(e.kind(), Hub::HubClientError::Kind::parseError) << bad;
        }
        EXPECT_TRUE(allFiles(tmp.path()).empty()) << bad;
        EXPECT_FALSE(fs::exists(tmp.path().parent_path() / "escape.txt"));
    }
}

TEST_F(SnapshotOnline, UnsafeEtagIsRefused) {
    for (std::string bad : {"../../../../x", "a/b", ".."}) {
        hub.etagOverride = bad;
        EXPECT_THROW(api.snapshot({"org/model"}, "main", {"config.json"}), Hub::HubApi::EnvironmentError) << bad;
        EXPECT_TRUE(allFiles(tmp.path()).empty()) << bad;
    }
}

TEST_F(SnapshotOnline, UnsafeRepositoryIdIsRefused) {
    EXPECT_THROW(api.snapshot({"../../x"}, "main"), Hub::HubClientError);
    EXPECT_THROW(api.snapshot({"/abs/x"}, "main"), Hub::HubClientError);
    EXPECT_TRUE(hub.server.requests().empty());
}

TEST_F(SnapshotOnline, CorruptMetadataIsDeletedAndTheFileFetchedAgain) {
    api.snapshot({"org/model"}, "main", {"config.json"});
    auto meta = metaFolder() / "config.json.metadata";
    writeFile(meta, "only one line");
    std::vector<std::string> logged;
    api.logSink = [&](const std::string& m) { logged.push_back(m); };
    api.snapshot({"org/model"}, "main", {"config.json"});
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_NE(logged[0].find("Invalid metadata file"), std::string::npos);
    // Etags differ (none recorded), the etag is not a SHA-256: fetched again.
    EXPECT_EQ(hub.bodyGets().size(), 2u);
    EXPECT_EQ(readLines(meta).size(), 3u);
}

TEST_F(SnapshotOnline, PresentFileWhoseHashMatchesIsRecordedWithoutDownload) {
    writeFile(repoFolder() / "enc/AudioEncoder.mlmodelc/weights/weight.bin", weights);
    api.snapshot({"org/model"}, "main", {"enc/*"});
    EXPECT_TRUE(hub.bodyGets().empty());
    EXPECT_EQ(readLines(metaFolder() / "enc/AudioEncoder.mlmodelc/weights/weight.bin.metadata")[1],
              platform::net::Sha256::hex(weights));
}

TEST_F(SnapshotOnline, TruncatedLocalCopyIsNeverTakenAsCurrent) {
    api.snapshot({"org/model"}, "main", {"enc/*", "config.json"});
    auto bin = repoFolder() / "enc/AudioEncoder.mlmodelc/weights/weight.bin";
    writeFile(bin, weights.substr(0, 1000));
    writeFile(repoFolder() / "config.json", "{");
    api.snapshot({"org/model"}, "main", {"enc/*", "config.json"});
    EXPECT_EQ(readFile(bin), weights);
    EXPECT_EQ(readFile(repoFolder() / "config.json"), R"({"model_type":"whisper"})");
    EXPECT_EQ(hub.bodyGets().size(), 4u);
}

TEST_F(SnapshotOnline, NewCommitWithSameEtagRewritesMetadataOnly) {
    api.snapshot({"org/model"}, "main", {"config.json"});
    hub.commit = hex40('b');
    api.snapshot({"org/model"}, "main", {"config.json"});
    EXPECT_EQ(hub.bodyGets().size(), 1u);
    EXPECT_EQ(readLines(metaFolder() / "config.json.metadata")[0], hex40('b'));
}

TEST_F(SnapshotOnline, MissingCommitHeaderIsInvalidMetadataEvenWithALocalCopy) {
    api.snapshot({"org/model"}, "main", {"config.json"});
    hub.omitCommit = true;
    try {
        api.snapshot({"org/model"}, "main", {"config.json"});
        FAIL();
    } catch (const HubApi::EnvironmentError& e) {
        EXPECT_EQ(e.description(), "Invalid metadata: File metadata must have been retrieved from server");
    }
}

TEST_F(SnapshotOnline, TokenGoesToTheHubButNeverToTheRedirectHost) {
    hub.requiredToken = "tok";
    hub.redirectBodies = true;
    api.hfToken = "tok";
    api.snapshot({"org/model"}, "main", {"enc/*", "config.json"});
    EXPECT_EQ(readFile(repoFolder() / "enc/AudioEncoder.mlmodelc/weights/weight.bin"), weights);
    for (auto& r : hub.server.requests()) EXPECT_EQ(r.header("Authorization"), "Bearer tok") << r.path;
    ASSERT_EQ(hub.cdn.requests().size(), 2u);
    for (auto& r : hub.cdn.requests()) EXPECT_FALSE(r.hasHeader("Authorization")) << r.path;
}

TEST_F(SnapshotOnline, WithoutTheTokenAProtectedRepositoryAsksForAuthorization) {
    hub.requiredToken = "tok";
    try {
        api.snapshot({"org/model"}, "main");
        FAIL();
    } catch (const Hub::HubClientError& e) {
        EXPECT_EQ(e.kind(), Hub::HubClientError::Kind::authorizationRequired);
        EXPECT_EQ(e.statusCode(), 401);
    }
}

TEST_F(SnapshotOnline, FailingFileStopsTheSnapshotAndKeepsEarlierFiles) {
    hub.listingOverride = std::vector<std::string>{"config.json", "missing.bin", "tokenizer.json"};
    try {
        api.snapshot({"org/model"}, "main");
        FAIL();
    } catch (const Hub::HubClientError& e) {
        EXPECT_EQ(e.description(), "File not found: missing.bin");
    }
    EXPECT_TRUE(fs::exists(metaFolder() / "config.json.metadata"));
    EXPECT_FALSE(fs::exists(repoFolder() / "tokenizer.json"));
}

TEST_F(SnapshotOnline, EmptyListingCallsTheHandlerOnceWithNoUnits) {
    hub.listingOverride = std::vector<std::string>{};
    int calls = 0;
    api.snapshot({"org/model"}, "main", {}, [&](const Hub::Progress& p) {
        ++calls;
        EXPECT_EQ(p.totalUnitCount(), 0);
    });
    EXPECT_EQ(calls, 1);
}

TEST_F(SnapshotOnline, CancellationStopsTheTransferAndTheNextRunResumes) {
    std::string big = LoopbackHub::randomBytes(8 << 20, 3);
    hub.setFile("big.bin", big, true);
    // The body stops flowing at 1 MiB, so the transfer cannot end before
    // the stop arrives, however the threads are scheduled.
    hub.stallAt = 1 << 20;
    std::stop_source source;
    std::thread stopper;
    try {
        api.snapshot({"org/model"}, "main", {"big.bin"},
                     [&](const Hub::Progress& p) {
                         if (p.fractionCompleted() > 0 && !stopper.joinable())
                             stopper = std::thread([&] { source.request_stop(); });
                     },
                     source.get_token());
        FAIL();
    } catch (const platform::net::UrlError& e) {
        EXPECT_EQ(e.code(), platform::net::UrlError::Code::cancelled);
    } catch (const Hub::CancellationError&) {
    }
    if (stopper.joinable()) stopper.join();
    hub.stallAt = -1;
    EXPECT_FALSE(fs::exists(metaFolder() / "big.bin.metadata"));
    EXPECT_FALSE(fs::exists(repoFolder() / "big.bin"));
    auto partial = metaFolder() / ("big.bin." + platform::net::Sha256::hex(big) + ".incomplete");
    ASSERT_TRUE(fs::exists(partial));
    auto kept = fs::file_size(partial);
    EXPECT_GE(kept, 64u * 1024u);
    EXPECT_LE(kept, 1u << 20);
    EXPECT_EQ(readFile(partial), big.substr(0, kept));

    api.snapshot({"org/model"}, "main", {"big.bin"});
    auto gets = hub.bodyGets();
    ASSERT_EQ(gets.size(), 2u);
    EXPECT_EQ(gets[1].header("Range"), "bytes=" + std::to_string(kept) + "-");
    EXPECT_EQ(platform::net::Sha256::hex(readFile(repoFolder() / "big.bin")), platform::net::Sha256::hex(big));
    EXPECT_FALSE(fs::exists(partial));
}

TEST_F(SnapshotOnline, EveryFileWeighsTheSameInTheOverallFraction) {
    hub.listingOverride = std::vector<std::string>{"enc/AudioEncoder.mlmodelc/weights/weight.bin", "config.json",
                                                   "tokenizer.json"};
    std::vector<double> fractions;
    std::optional<double> throughput;
    api.snapshot({"org/model"}, "main", {}, [&](const Hub::Progress& p) {
        EXPECT_EQ(p.totalUnitCount(), 3);
        fractions.push_back(p.fractionCompleted());
        if (p.throughput()) throughput = p.throughput();
    });
    // The big file's chunks report partial fractions, then each small file
    // starts at one third and two thirds.
    EXPECT_NE(std::find_if(fractions.begin(), fractions.end(), [](double f) { return f > 0 && f < 1.0 / 3; }),
              fractions.end());
    EXPECT_NE(std::find_if(fractions.begin(), fractions.end(), [](double f) { return std::abs(f - 1.0 / 3) < 1e-9; }),
              fractions.end());
    EXPECT_NE(std::find_if(fractions.begin(), fractions.end(), [](double f) { return std::abs(f - 2.0 / 3) < 1e-9; }),
              fractions.end());
    EXPECT_DOUBLE_EQ(fractions.back(), 1.0);
    EXPECT_TRUE(std::is_sorted(fractions.begin(), fractions.end()));
    EXPECT_TRUE(throughput && *throughput > 0);
}

TEST(ProgressTree, ChildrenWeighByPendingUnits) {
    Hub::Progress parent(4);
    auto a = std::make_shared<Hub::Progress>(100);
    auto b = std::make_shared<Hub::Progress>(100);
    parent.addChild(a, 1);
    parent.addChild(b, 3);
    a->setCompletedUnitCount(50);
    EXPECT_DOUBLE_EQ(parent.fractionCompleted(), 0.125);
    b->setCompletedUnitCount(200);  // over-full counts as whole
    EXPECT_DOUBLE_EQ(parent.fractionCompleted(), 0.875);
    EXPECT_DOUBLE_EQ(Hub::Progress(0).fractionCompleted(), 0);
}

// A large-file object is named by its SHA-256: a body that does not hash to
// it never lands, is fetched once more, and then fails as an integrity error.
TEST_F(SnapshotOnline, BodyThatDoesNotMatchItsSha256IsFetchedOnceMoreThenRefused) {
    const std::string name = "enc/AudioEncoder.mlmodelc/weights/weight.bin";
    const auto partialOf = [&] { return metaFolder() / (name + "." + platform::net::Sha256::hex(weights) + ".incomplete"); };
    struct Case {
        int corrupt;  // body GETs that carry a wrong byte
        bool lands;
    };
    for (const Case c : {Case{1, true}, Case{2, false}, Case{5, false}}) {
        fs::remove_all(tmp.path() / "models");
        hub.server.clearRequests();
        hub.corruptGets = c.corrupt;
        try {
            api.snapshot({"org/model"}, "main", {"enc/*"});
            EXPECT_TRUE(c.lands) << c.corrupt;
        } catch (const HubApi::EnvironmentError& e) {
            EXPECT_FALSE(c.lands) << c.corrupt;
            EXPECT_EQ(e.kind(), HubApi::EnvironmentError::Kind::fileIntegrityError);
            EXPECT_EQ(e.description(), "File integrity check failed: Hash mismatch for weight.bin");
        }
        // One fetch, and a second one from the first byte after a mismatch.
        auto gets = hub.bodyGets();
        ASSERT_EQ(gets.size(), 2u) << c.corrupt;
        EXPECT_FALSE(gets[1].hasHeader("Range"));
        EXPECT_FALSE(fs::exists(partialOf()));
        EXPECT_EQ(fs::exists(metaFolder() / (name + ".metadata")), c.lands);
        EXPECT_EQ(fs::exists(repoFolder() / name), c.lands);
        if (c.lands) {
            EXPECT_EQ(readFile(repoFolder() / name), weights);
        }
    }
    hub.corruptGets = 0;
}

// Resuming hashes the bytes kept from the last run first, so a damaged
// partial file is caught too.
TEST_F(SnapshotOnline, ResumedPartialFileIsHashedFromItsFirstByte) {
    const std::string name = "enc/AudioEncoder.mlmodelc/weights/weight.bin";
    const auto partial = metaFolder() / (name + "." + platform::net::Sha256::hex(weights) + ".incomplete");
    std::string damaged = weights.substr(0, 100000);
    damaged[10] ^= 0x01;
    struct Case {
        std::string kept;
        std::vector<std::string> ranges;  // of the body GETs
    };
    const Case cases[] = {
        {weights.substr(0, 100000), {"bytes=100000-"}},
        {damaged, {"bytes=100000-", ""}},
        {weights, {}},
        {weights.substr(0, 200) + std::string(weights.size() - 200, 'x'), {""}},
    };
    for (const auto& c : cases) {
        fs::remove_all(tmp.path() / "models");
        hub.server.clearRequests();
        writeFile(partial, c.kept);
        api.snapshot({"org/model"}, "main", {"enc/*"});
        EXPECT_EQ(readFile(repoFolder() / name), weights);
        std::vector<std::string> ranges;
        for (const auto& get : hub.bodyGets()) ranges.push_back(get.header("Range"));
        EXPECT_EQ(ranges, c.ranges) << c.kept.size();
        EXPECT_FALSE(fs::exists(partial));
    }
}

TEST_F(SnapshotOnline, StalledBodyFailsAfterTheIdleTimeOutAndResumes) {
    // The limit also covers the resuming GET, whose server thread a loaded
    // machine may hold up: seconds, while the first GET stalls until the end.
    api.downloadIdleTimeout = 3;
    hub.stallAt = 100000;
    hub.stallGets = 1;
    api.snapshot({"org/model"}, "main", {"enc/*"});
    hub.stallAt = -1;
    auto gets = hub.bodyGets();
    ASSERT_EQ(gets.size(), 2u);
    // The first whole 64 KiB chunk was kept.
    EXPECT_EQ(gets[1].header("Range"), "bytes=65536-");
    EXPECT_EQ(readFile(repoFolder() / "enc/AudioEncoder.mlmodelc/weights/weight.bin"), weights);
}
