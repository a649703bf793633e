#include <gtest/gtest.h>

#include <random>
#include <string>

#include "stream/live/DvrAddress.h"
#include "stream/live/StreamCoding.h"

namespace vistrel::live {
namespace {

TEST(StreamCoding, ContentTypesAreMatchedExactly) {
    EXPECT_EQ(CodingFromContentType("video/x-qdaxwmh263"), StreamCoding::H263);
    EXPECT_EQ(CodingFromContentType("video/x-qdaxwmjpeg"), StreamCoding::Jpeg);
    EXPECT_EQ(CodingFromContentType("video/x-qdaxwmxvd4"), StreamCoding::Xvid);
    EXPECT_EQ(CodingFromContentType("video/x-qdaxwmvweb"), StreamCoding::Vweb);
    EXPECT_EQ(CodingFromContentType("video/x-qdaxwmkvr4"), StreamCoding::Kvr4);
    for (const char* other : {"", "video/x-qdaxwmh26", "video/x-qdaxwmh2633", "VIDEO/X-QDAXWMH263",
                              "video/x-qdaxwmh263; charset=x", " video/x-qdaxwmkvr4", "text/html"})
        EXPECT_EQ(CodingFromContentType(other), StreamCoding::Unknown) << other;
    EXPECT_EQ(CodingFromContentType(nullptr), StreamCoding::Unknown);
    EXPECT_STREQ(ContentTypeOf(StreamCoding::Kvr4), "video/x-qdaxwmkvr4");
    EXPECT_EQ(ContentTypeOf(StreamCoding::Unknown), nullptr);
}

TEST(StreamCoding, TruncatedOrFlippedContentTypesNeverMatchAnotherCoding) {
    std::mt19937 rng(3);
    const std::string base = "video/x-qdaxwmkvr4";
    for (std::size_t n = 0; n < base.size(); ++n)
        EXPECT_EQ(CodingFromContentType(base.substr(0, n).c_str()), StreamCoding::Unknown);
    for (int i = 0; i < 2000; ++i) {
        std::string t = base;
        t[rng() % t.size()] ^= static_cast<char>(1u << (rng() % 7));
        const StreamCoding c = CodingFromContentType(t.c_str());
        EXPECT_TRUE(c == StreamCoding::Unknown || ContentTypeOf(c) == t) << t;
    }
}

TEST(StreamCoding, ErrorPageIsFoundAnywhereInTheBlockWithoutRegardToCase) {
    auto found = [](const std::string& s) {
        return LooksLikeErrorPage(reinterpret_cast<const std::uint8_t*>(s.data()), s.size());
    };
    EXPECT_TRUE(found("HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n<html>"));
    EXPECT_TRUE(found(std::string(1000, '\0') + "CONTENT-TYPE: TEXT/HTML"));
    EXPECT_TRUE(found("content-type: text/html"));
    EXPECT_FALSE(found("Content-Type: text/htm"));
    EXPECT_FALSE(found("Content-Type:text/html"));
    EXPECT_FALSE(found("Content-Type: text/plain <html>"));
    EXPECT_FALSE(LooksLikeErrorPage(nullptr, 100));
    const std::string mark = "xxContent-Type: text/html";
    for (std::size_t n = 0; n < mark.size(); ++n) EXPECT_FALSE(found(mark.substr(0, n))) << n;
    std::mt19937 rng(5);
    for (int i = 0; i < 2000; ++i) {
        std::string t = mark;
        const std::size_t at = 2 + rng() % (mark.size() - 2);
        t[at] = static_cast<char>(t[at] ^ (1u << (rng() % 8)));
        const bool onlyCase = std::tolower(static_cast<unsigned char>(t[at])) ==
                              std::tolower(static_cast<unsigned char>(mark[at]));
        EXPECT_EQ(found(t), onlyCase) << t;
    }
}

TEST(DvrAddress, PortsOfAnyLengthAndChannelsMakeTheLiveUrl) {
    std::string error;
    DvrAddress a;
    a.host = "192.168.0.9";
    ASSERT_TRUE(ParsePort("8080", &a.port, &error));
    ASSERT_TRUE(ParseChannel("16", &a.channel, &error));
    EXPECT_EQ(LiveUrl(a), "http://192.168.0.9:8080/pushall.htm;15?scrw=1024");
    ASSERT_TRUE(ParsePort("65535", &a.port, &error));
    ASSERT_TRUE(ParseChannel("1", &a.channel, &error));
    EXPECT_EQ(LiveUrl(a), "http://192.168.0.9:65535/pushall.htm;0?scrw=1024");
    for (const char* bad : {"0", "65536", "", "8o", "-1", "123456", " 80"})
        EXPECT_FALSE(ParsePort(bad, &a.port, &error)) << bad;
    EXPECT_FALSE(error.empty());
    for (const char* bad : {"0", "17", "", "1a", "-1", "100"})
        EXPECT_FALSE(ParseChannel(bad, &a.channel, &error)) << bad;
    double s = 0;
    EXPECT_TRUE(ParseSeconds("2.5", &s, &error));
    EXPECT_DOUBLE_EQ(s, 2.5);
    for (const char* bad : {"", "x", "-1", "1e9", "nan"}) EXPECT_FALSE(ParseSeconds(bad, &s, &error)) << bad;
    EXPECT_TRUE(CheckHost("dvr-1.local", &error));
    for (const std::string& bad :
         {std::string(), std::string("a b"), std::string("h/x"), std::string("h:80"), std::string(128, 'h')})
        EXPECT_FALSE(CheckHost(bad, &error)) << bad;
}

}  // namespace
}  // namespace vistrel::live
