#include <gtest/gtest.h>

#include <random>

#include "stream/http/StreamUrl.h"

namespace vistrel::http {
namespace {

TEST(StreamUrl, SplitsHostPortAndPathKeepingParametersAndQuery) {
    StreamUrlParts p;
    ASSERT_TRUE(SplitStreamUrl("http://dvr.example:81/p.htm;3?x=1", &p));
    EXPECT_EQ(p.host, "dvr.example");
    EXPECT_EQ(p.port, 81);
    EXPECT_EQ(p.path, "/p.htm;3?x=1");

    ASSERT_TRUE(SplitStreamUrl("http://dvr.example", &p));
    EXPECT_EQ(p.host, "dvr.example");
    EXPECT_EQ(p.port, 80);
    EXPECT_EQ(p.path, "");

    ASSERT_TRUE(SplitStreamUrl("http://h/pushall.htm;15?scrw=1024", &p));
    EXPECT_EQ(p.port, 80);
    EXPECT_EQ(p.path, "/pushall.htm;15?scrw=1024");

    ASSERT_TRUE(SplitStreamUrl("http://h\\x.htm", &p));
    EXPECT_EQ(p.host, "h");
    EXPECT_EQ(p.path, "\\x.htm");
}

TEST(StreamUrl, TextWithoutSchemeIsTakenWholeAsHost) {
    StreamUrlParts p;
    ASSERT_TRUE(SplitStreamUrl("dvr:81/p.htm", &p));
    EXPECT_EQ(p.host, "dvr:81/p.htm");
    EXPECT_EQ(p.port, 80);
    EXPECT_EQ(p.path, "");
    ASSERT_TRUE(SplitStreamUrl("HTTP://h", &p));  // the scheme is matched exactly
    EXPECT_EQ(p.host, "HTTP://h");
}

TEST(StreamUrl, AcceptsEveryPortFrom1To65535AndRefusesOthers) {
    StreamUrlParts p;
    for (int port : {1, 81, 8080, 65535}) {
        ASSERT_TRUE(SplitStreamUrl("http://h:" + std::to_string(port) + "/x", &p)) << port;
        EXPECT_EQ(p.port, port);
        EXPECT_EQ(p.path, "/x");
    }
    ASSERT_TRUE(SplitStreamUrl("http://h:8080", &p));
    EXPECT_EQ(p.port, 8080);
    EXPECT_EQ(p.path, "");
    for (const char* bad : {"http://h:0/x", "http://h:65536/x", "http://h:/x", "http://h:80a/x", "http://h:-1/x",
                            "http://h:123456/x", "http://:80/x", "http:///x", "http://", ""})
        EXPECT_FALSE(SplitStreamUrl(bad, &p)) << bad;
}

TEST(StreamUrl, RequestUrlEscapesWhatARequestLineCannotCarry) {
    StreamUrlParts p;
    std::string url;
    ASSERT_TRUE(SplitStreamUrl("http://127.0.0.1:8080/pushall.htm;0?scrw=1024", &p));
    ASSERT_TRUE(BuildRequestUrl(p, &url));
    EXPECT_EQ(url, "http://127.0.0.1:8080/pushall.htm;0?scrw=1024");
    ASSERT_TRUE(SplitStreamUrl("http://h", &p));
    ASSERT_TRUE(BuildRequestUrl(p, &url));
    EXPECT_EQ(url, "http://h:80/");
    ASSERT_TRUE(SplitStreamUrl("http://h/a b#c\x01", &p));
    ASSERT_TRUE(BuildRequestUrl(p, &url));
    EXPECT_EQ(url, "http://h:80/a%20b%23c%01");
    ASSERT_TRUE(SplitStreamUrl("host with space", &p));
    EXPECT_FALSE(BuildRequestUrl(p, &url));
}

TEST(StreamUrl, TruncationsAndBitFlipsNeverYieldAnUnusableSplit) {
    const std::string base = "http://192.168.1.20:8080/pushall.htm;3?scrw=1024";
    std::mt19937 rng(7);
    auto check = [](const std::string& text) {
        StreamUrlParts p;
        if (!SplitStreamUrl(text, &p)) return;
        EXPECT_FALSE(p.host.empty());
        EXPECT_LE(p.host.size(), kMaxHostLength);
        EXPECT_GE(p.port, 1);
        if (!p.path.empty()) {
            EXPECT_TRUE(p.path[0] == '/' || p.path[0] == '\\');
        }
        std::string url;
        if (BuildRequestUrl(p, &url)) {
            for (unsigned char c : url) EXPECT_TRUE(c > 0x20 && c < 0x7F) << url;
        }
    };
    for (std::size_t n = 0; n <= base.size(); ++n) check(base.substr(0, n));
    for (int i = 0; i < 3000; ++i) {
        std::string t = base;
        const int flips = 1 + int(rng() % 3);
        for (int f = 0; f < flips; ++f) t[rng() % t.size()] ^= char(1u << (rng() % 8));
        check(t);
    }
    check(std::string(2000, 'a'));
    check("http://" + std::string(600, 'h') + ":80/x");
}

}  // namespace
}  // namespace vistrel::http
