#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/net/HttpClient.hpp"
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
        s.Get("/stall", [](const httplib::Request&, httplib::Response& res) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2500));
            res.set_content("late", "text/plain");
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

    LoopbackServer server;
    LoopbackServer other;
    HttpClient client;
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
    req.idleTimeout = 1;
    try {
        client.send(req);
        FAIL();
    } catch (const UrlError& e) {
        EXPECT_EQ(e.code(), UrlError::Code::timedOut);
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
