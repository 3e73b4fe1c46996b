#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/net/CurlHttpClient.hpp"
#include "platform/net/fake/FakeHttpClient.hpp"
#include "platform/net/fake/LoopbackServer.hpp"

using namespace platform::net;

namespace {

HttpRequest get(const std::string& url) {
    HttpRequest r;
    r.url = *Url::parse(url);
    return r;
}

class HttpClientTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto& s = server.server();
        s.Get("/hello", [](const httplib::Request&, httplib::Response& res) {
            res.set_header("X-Thing", "42");
            res.set_content("hello", "text/plain");
        });
        s.Get("/same", [](const httplib::Request&, httplib::Response& res) { res.set_redirect("/hello", 302); });
        s.Get("/loop", [](const httplib::Request&, httplib::Response& res) { res.set_redirect("/loop", 302); });
        s.Get("/away", [this](const httplib::Request&, httplib::Response& res) {
            res.set_redirect(other.baseUrl() + "/hello", 302);
        });
        s.Get("/stall", [this](const httplib::Request&, httplib::Response& res) {
            waitForRelease(std::chrono::milliseconds(2500));
            res.set_content("late", "text/plain");
        });
        // 300 bytes, then `times` more, each after a silence of `pause` ms (or
        // until the test ends).
        s.Get("/pause", [this](const httplib::Request& req, httplib::Response& res) {
            const auto pause = std::chrono::milliseconds(std::stoi(req.get_param_value("ms")));
            const auto times = static_cast<size_t>(std::stoi(req.get_param_value("times")));
            res.set_content_provider(300 * (times + 1), "application/octet-stream",
                                     [this, pause](size_t offset, size_t, httplib::DataSink& sink) {
                                         if (offset > 0) waitForRelease(pause);
                                         std::string block(300, 'p');
                                         sink.write(block.data(), block.size());
                                         return true;
                                     });
        });
        s.Get("/cut", [](const httplib::Request&, httplib::Response& res) {
            res.set_content_provider(1000, "application/octet-stream",
                                     [](size_t offset, size_t, httplib::DataSink& sink) {
                                         if (offset >= 300) return false;
                                         std::string block(300, 'x');
                                         sink.write(block.data(), block.size());
                                         return true;
                                     });
        });
        s.Get("/endless", [](const httplib::Request&, httplib::Response& res) {
            res.set_content_provider(1ull << 40, "application/octet-stream",
                                     [](size_t, size_t, httplib::DataSink& sink) {
                                         std::string block(65536, 'e');
                                         sink.write(block.data(), block.size());
                                         return true;
                                     });
        });
        other.server().Get("/hello", [](const httplib::Request&, httplib::Response& res) {
            res.set_content("elsewhere", "text/plain");
        });
        server.start();
        other.start();
    }

    void TearDown() override {
        {
            std::lock_guard lock(releaseMutex);
            released = true;
        }
        release.notify_all();
    }

    // Sleeps for `limit`, or less once the test is over, so that no server
    // thread outlives the test by seconds.
    void waitForRelease(std::chrono::milliseconds limit) {
        std::unique_lock lock(releaseMutex);
        release.wait_for(lock, limit, [this] { return released; });
    }

    std::mutex releaseMutex;
    std::condition_variable release;
    bool released = false;

    LoopbackServer server;
    LoopbackServer other;
    CurlHttpClient client;
};

}  // namespace

TEST_F(HttpClientTest, GetsBodyAndHeaders) {
    auto res = client.send(get(server.baseUrl() + "/hello"));
    EXPECT_EQ(res.status, 200);
    EXPECT_EQ(res.body, "hello");
    EXPECT_EQ(res.headers.value("x-thing").value_or(""), "42");
}

TEST_F(HttpClientTest, HeadHasNoBody) {
    auto req = get(server.baseUrl() + "/hello");
    req.method = "HEAD";
    auto res = client.send(req);
    EXPECT_EQ(res.status, 200);
    EXPECT_TRUE(res.body.empty());
    ASSERT_EQ(server.requests("HEAD").size(), 1u);
}

TEST_F(HttpClientTest, TokenFollowsSameOriginRedirectButNeverAnotherHost) {
    auto req = get(server.baseUrl() + "/same");
    req.bearerToken = "secret";
    EXPECT_EQ(client.send(req).body, "hello");
    auto seen = server.requests();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[1].header("Authorization"), "Bearer secret");

    req.url = *Url::parse(server.baseUrl() + "/away");
    auto res = client.send(req);
    EXPECT_EQ(res.body, "elsewhere");
    EXPECT_EQ(res.url.string(), other.baseUrl() + "/hello");
    ASSERT_EQ(other.requests().size(), 1u);
    EXPECT_FALSE(other.requests()[0].hasHeader("Authorization"));
    EXPECT_EQ(server.requests().back().header("Authorization"), "Bearer secret");
}

TEST_F(HttpClientTest, EmptyTokenSendsNoHeader) {
    auto req = get(server.baseUrl() + "/hello");
    req.bearerToken = "";
    client.send(req);
    EXPECT_FALSE(server.requests()[0].hasHeader("Authorization"));
}

TEST_F(HttpClientTest, UnfollowedRedirectComesBack) {
    auto req = get(server.baseUrl() + "/away");
    req.followRedirects = false;
    auto res = client.send(req);
    EXPECT_EQ(res.status, 302);
    EXPECT_EQ(res.headers.value("Location").value_or(""), other.baseUrl() + "/hello");
    EXPECT_TRUE(other.requests().empty());
}

TEST_F(HttpClientTest, RedirectLoopIsCapped) {
    auto req = get(server.baseUrl() + "/loop");
    req.maxRedirects = 5;
    try {
        client.send(req);
        FAIL() << "a redirect loop must fail";
    } catch (const UrlError& e) {
        EXPECT_EQ(e.code(), UrlError::Code::httpTooManyRedirects);
    }
    EXPECT_EQ(server.requests().size(), 6u);
}

TEST_F(HttpClientTest, IdleTimeoutFailsAStalledServer) {
    auto req = get(server.baseUrl() + "/stall");
    req.idleTimeout = 0.3;
    try {
        client.send(req);
        FAIL();
    } catch (const UrlError& e) {
        EXPECT_EQ(e.code(), UrlError::Code::timedOut);
    }
}

// The limit counts from the last byte: a body that stalls after its first
// bytes fails once the silence reaches the limit, while one that trickles in
// with pauses shorter than the limit is waited out, however long it takes in
// all. The limits leave seconds to a server thread held up by a loaded
// machine; the stall lasts until the test ends.
TEST_F(HttpClientTest, IdleTimeoutCountsFromTheLastByteOfABody) {
    struct Case {
        int pauseMs;
        int pauses;
        double idleTimeout;
        bool completes;
    };
    const Case cases[] = {{30000, 1, 2.0, false}, {400, 9, 3.0, true}};
    for (const auto& c : cases) {
        auto req = get(server.baseUrl() + "/pause?ms=" + std::to_string(c.pauseMs) +
                       "&times=" + std::to_string(c.pauses));
        req.idleTimeout = c.idleTimeout;
        size_t received = 0;
        try {
            client.stream(req, {}, [&](const char*, size_t n) { received += n; });
            EXPECT_TRUE(c.completes) << c.pauseMs << " ms against " << c.idleTimeout << " s";
            EXPECT_EQ(received, 300u * (c.pauses + 1));
        } catch (const UrlError& e) {
            EXPECT_FALSE(c.completes) << c.pauseMs << " ms against " << c.idleTimeout << " s";
            EXPECT_EQ(e.code(), UrlError::Code::timedOut);
            EXPECT_EQ(received, 300u);
        }
    }
}

TEST_F(HttpClientTest, ConnectionCutMidBodyIsALostConnectionAfterTheHead) {
    bool head = false;
    size_t received = 0;
    try {
        client.stream(get(server.baseUrl() + "/cut"), [&](const HttpResponse& r) { head = r.status == 200; },
                      [&](const char*, size_t n) { received += n; });
        FAIL();
    } catch (const UrlError& e) {
        EXPECT_EQ(e.code(), UrlError::Code::networkConnectionLost);
    }
    EXPECT_TRUE(head);
    EXPECT_EQ(received, 300u);
}

TEST_F(HttpClientTest, StopTokenCancelsAStream) {
    std::stop_source source;
    std::atomic<size_t> received{0};
    std::thread stopper([&] {
        while (received < 1'000'000) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        source.request_stop();
    });
    try {
        client.stream(get(server.baseUrl() + "/endless"), {}, [&](const char*, size_t n) { received += n; },
                      source.get_token());
        FAIL();
    } catch (const UrlError& e) {
        EXPECT_EQ(e.code(), UrlError::Code::cancelled);
    }
    stopper.join();
}

TEST_F(HttpClientTest, HandlerExceptionEndsTransferAndPropagates) {
    EXPECT_THROW(client.stream(get(server.baseUrl() + "/endless"), {},
                               [](const char*, size_t) { throw std::runtime_error("disk full"); }),
                 std::runtime_error);
}

TEST_F(HttpClientTest, RefusesHeaderInjectionAndUnreachableHosts) {
    auto req = get(server.baseUrl() + "/hello");
    req.bearerToken = "a\r\nX-Evil: 1";
    EXPECT_THROW(client.send(req), UrlError);
    server.stop();
    try {
        client.send(get(server.baseUrl() + "/hello"));
        FAIL();
    } catch (const UrlError& e) {
        EXPECT_EQ(e.code(), UrlError::Code::cannotConnectToHost);
    }
}

TEST(FakeHttpClient, AnswersFromItsScriptAndRecordsRequests) {
    FakeHttpClient fake;
    fake.setHandler([](const HttpRequest& r) {
        FakeHttpClient::Reply reply;
        if (r.url.path() == "/cut") reply.failAfterBody = UrlError::Code::networkConnectionLost;
        reply.body = std::string(40000, 'b');
        reply.headers.set("X-Path", r.url.path());
        return reply;
    });
    auto whole = fake.send(get("http://hub.test/a"));
    EXPECT_EQ(whole.status, 200);
    EXPECT_EQ(whole.body.size(), 40000u);
    EXPECT_EQ(whole.headers.value("x-path").value_or(""), "/a");
    std::vector<size_t> blocks;
    try {
        fake.stream(get("http://hub.test/cut"), {}, [&](const char*, size_t n) { blocks.push_back(n); });
        FAIL();
    } catch (const UrlError& e) {
        EXPECT_EQ(e.code(), UrlError::Code::networkConnectionLost);
    }
    EXPECT_EQ(blocks, (std::vector<size_t>{16384, 16384, 7232}));
    ASSERT_EQ(fake.requests().size(), 2u);
    EXPECT_EQ(fake.requests()[1].url.path(), "/cut");
    FakeHttpClient silent;
    EXPECT_EQ(silent.send(get("http://hub.test/x")).status, 404);
}
