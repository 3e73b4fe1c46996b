#include <gtest/gtest.h>

#include "platform/net/Url.hpp"

using platform::net::Url;

TEST(Url, ParsesAndPrintsAbsoluteUrls) {
    auto url = Url::parse("HTTP://Example.org:8080/a/b%20c?x=1#frag");
    ASSERT_TRUE(url);
    EXPECT_EQ(url->scheme(), "http");
    EXPECT_EQ(url->host(), "example.org");
    EXPECT_EQ(url->effectivePort(), 8080);
    EXPECT_EQ(url->path(), "/a/b%20c");
    EXPECT_EQ(url->query().value_or(""), "x=1");
    EXPECT_EQ(url->lastPathComponent(), "b c");
    EXPECT_EQ(url->string(), "http://example.org:8080/a/b%20c?x=1");
}

TEST(Url, RefusesWhatIsNotAnHttpUrl) {
    for (const char* text : {"", "example.org/x", "ftp://h/x", "http://", "http://h:99999/", "http://u@h/",
                             "http://h/a b", "http://h:12a/"})
        EXPECT_FALSE(Url::parse(text)) << text;
}

TEST(Url, OneComponentEscapesSlashesWhileAPathKeepsThem) {
    auto base = *Url::parse("http://h:1");
    EXPECT_EQ(base.appendingPathComponent("refs/pr/1").string(), "http://h:1/refs%2Fpr%2F1");
    EXPECT_EQ(base.appendingPath("org/set").appendingPath("a/b c.json").string(), "http://h:1/org/set/a/b%20c.json");
    EXPECT_EQ(base.appendingPath("x").appendingPathComponent("..").string(), "http://h:1/x/..");
}

TEST(Url, ResolvesRedirectLocations) {
    auto base = *Url::parse("https://h/a/b?q=1");
    EXPECT_EQ(base.resolve("/x?y=1")->string(), "https://h/x?y=1");
    EXPECT_EQ(base.resolve("c")->string(), "https://h/a/c");
    EXPECT_EQ(base.resolve("//other/z")->string(), "https://other/z");
    EXPECT_EQ(base.resolve("http://o:81/p")->string(), "http://o:81/p");
    // A URL inside the query does not make the reference absolute.
    EXPECT_EQ(base.resolve("/x?next=http://o/p")->string(), "https://h/x?next=http://o/p");
    EXPECT_FALSE(base.resolve("ftp://o/p"));
    for (const char* hostless : {"/x", "c", "/x?next=http://o/p", "?q=2"}) EXPECT_TRUE(Url::isHostless(hostless)) << hostless;
    for (const char* withHost : {"http://o/p", "HTTPS://o", "//o/p", "ftp://o"}) EXPECT_FALSE(Url::isHostless(withHost)) << withHost;
    EXPECT_TRUE(base.sameOrigin(*Url::parse("https://H:443/other")));
    EXPECT_FALSE(base.sameOrigin(*Url::parse("http://h/")));
    EXPECT_FALSE(base.sameOrigin(*Url::parse("https://h:444/")));
}

TEST(Url, ResolutionFollowsTheReferenceRules) {
    const auto base = *Url::parse("https://h/a/b/c?q=1");
    const std::pair<const char*, const char*> cases[] = {
        {"../d", "https://h/a/d"},
        {"./d", "https://h/a/b/d"},
        {"../../../d", "https://h/d"},
        {"/x/./y/../z", "https://h/x/z"},
        {"?q=2", "https://h/a/b/c?q=2"},
        {"d#part", "https://h/a/b/d"},
        {"//o:8443/p", "https://o:8443/p"},
    };
    for (const auto& [reference, expected] : cases) {
        auto resolved = base.resolve(reference);
        ASSERT_TRUE(resolved) << reference;
        EXPECT_EQ(resolved->string(), expected) << reference;
    }
    EXPECT_FALSE(base.resolve("http://u:p@o/"));
    EXPECT_FALSE(base.resolve("http://o/a b"));
    auto v6 = Url::parse("http://[::1]:8080/x");
    ASSERT_TRUE(v6);
    EXPECT_EQ(v6->host(), "[::1]");
    EXPECT_EQ(v6->effectivePort(), 8080);
    EXPECT_EQ(Url::parse("http://h")->string(), "http://h/");
}

TEST(Url, LoopbackHostsAreThisMachine) {
    const std::pair<const char*, bool> cases[] = {
        {"http://127.0.0.1:8080/", true}, {"http://127.9.8.7/", true},   {"http://localhost/", true},
        {"http://LOCALHOST:1/", true},    {"http://mirror.localhost/", true}, {"http://[::1]:5000/", true},
        {"http://[::ffff:127.0.0.1]/", true}, {"http://128.0.0.1/", false}, {"http://10.0.0.1/", false},
        {"http://localhost.example/", false}, {"http://[::2]/", false},    {"https://hub.example/", false},
        {"http://127.0.0.1.example/", false},
    };
    for (const auto& [text, loopback] : cases) {
        auto url = Url::parse(text);
        ASSERT_TRUE(url) << text;
        EXPECT_EQ(url->isLoopback(), loopback) << text;
    }
}
