// The emulator's request parsers: known answers, then truncations and bit flips of real requests.

#include <gtest/gtest.h>

#include <random>

#include "tools/dvr/HttpAuth.h"
#include "tools/dvr/HttpRequest.h"
#include "tools/dvr/Md5.h"
#include "tools/dvr/PlaybackRange.h"

using namespace vistrel::dvr;

namespace {

const std::string kLiveRequest =
    "GET /pushall.htm;3?scrw=1024 HTTP/1.0\r\nUser-Agent:MSIE\r\nHost: 127.0.0.1:8080\r\n"
    "Authorization: Basic YWRtaW46c2VjcmV0\r\n\r\n";
const std::string kPlaybackQuery =
    "func=read&video_source=FFFF&startH=180207d9&startL=7050d00&endH=180207d9&endL=3b3b0d00";

}  // namespace

TEST(Md5, KnownVectors) {
    EXPECT_EQ(md5Hex(""), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(md5Hex("abc"), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(md5Hex("message digest"), "f96b697d7cb7938d525a2f31aaf161d0");
    EXPECT_EQ(md5Hex("12345678901234567890123456789012345678901234567890123456789012345678901234567890"),
              "57edf4a22be3c955ac49da2e2107b67a");
    // Fed in odd pieces across the 64-byte block boundary.
    Md5 md5;
    const std::string text = "The quick brown fox jumps over the lazy dog";
    for (std::size_t i = 0; i < text.size(); i += 7) md5.update(text.substr(i, 7));
    const auto digest = md5.finish();
    EXPECT_EQ(digest[0], 0x9e);
    EXPECT_EQ(digest[15], 0xd6);
    // RFC 2617's worked example, which pins the whole Digest computation.
    const std::string ha1 = md5Hex("Mufasa:testrealm@host.com:Circle Of Life");
    const std::string ha2 = md5Hex("GET:/dir/index.html");
    EXPECT_EQ(md5Hex(ha1 + ":dcd98b7102dd2f0e8b11d0f600bfb0c093:00000001:0a4f113b:auth:" + ha2),
              "6629fae49393a05397450978507c4ef1");
}

TEST(Base64, RoundTripAndRejects) {
    EXPECT_EQ(base64Encode("admin:secret"), "YWRtaW46c2VjcmV0");
    for (const std::string s : {"", "a", "ab", "abc", "abcd", "user:p\xff\x01"}) {
        std::string back;
        ASSERT_TRUE(base64Decode(base64Encode(s), back)) << s;
        EXPECT_EQ(back, s);
    }
    std::string out;
    EXPECT_FALSE(base64Decode("YW*t", out));
    EXPECT_FALSE(base64Decode("YQ==YQ==", out));
}

TEST(RequestParser, ParsesTheClientsRequests) {
    HttpRequest r;
    std::string error;
    ASSERT_TRUE(parseRequestHead(kLiveRequest, r, &error)) << error;
    EXPECT_EQ(r.method, "GET");
    EXPECT_EQ(r.path, "/pushall.htm;3");
    EXPECT_EQ(r.query, "scrw=1024");
    EXPECT_EQ(r.version, "HTTP/1.0");
    ASSERT_NE(r.header("user-agent"), nullptr);
    EXPECT_EQ(*r.header("User-Agent"), "MSIE");
    EXPECT_EQ(findHeadEnd(kLiveRequest), kLiveRequest.size());
    EXPECT_EQ(findHeadEnd("GET / HTTP/1.0\n\n"), 16u);
    EXPECT_EQ(findHeadEnd("GET / HTTP/1.0\r\n"), std::string::npos);

    for (const char* bad : {"GET\r\n\r\n", "GET /x\r\n\r\n", "GET x HTTP/1.0\r\n\r\n", "GET /x HTTP/2.0\r\n\r\n",
                            "G\x01T /x HTTP/1.0\r\n\r\n", "GET /x HTTP/1.0\r\nNoColon\r\n\r\n",
                            "GET /x HTTP/1.0\r\n folded: x\r\n\r\n", "GET /a\x7f HTTP/1.0\r\n\r\n"})
        EXPECT_FALSE(parseRequestHead(bad, r, &error)) << bad;
    std::string many = "GET / HTTP/1.0\r\n";
    for (std::size_t i = 0; i <= kMaxHeaderCount; ++i) many += "X-" + std::to_string(i) + ": y\r\n";
    EXPECT_FALSE(parseRequestHead(many + "\r\n", r, &error));
}

TEST(RequestParser, QueryStrings) {
    const auto q = parseQuery("scrw=1024&mcast=0&Video_Source=3&zzw=17&Speed=-1&camctrl_up=up&&=x&a%2=1&b=%41+c");
    EXPECT_EQ(queryValue(q, "video_source"), "3");
    EXPECT_EQ(queryValue(q, "SPEED"), "-1");
    EXPECT_EQ(queryValue(q, "b"), "A c");
    EXPECT_FALSE(queryValue(q, "a%2").has_value());
    EXPECT_FALSE(queryValue(q, "missing").has_value());
    EXPECT_EQ(parseDecimal("15", 15), 15);
    EXPECT_FALSE(parseDecimal("16", 15).has_value());
    EXPECT_FALSE(parseDecimal("-1", 15).has_value());
    EXPECT_FALSE(parseDecimal("99999999999999999999", 1LL << 62).has_value());
    EXPECT_EQ(parseHex("3b3b0d00", 0xFFFFFFFF), 0x3b3b0d00u);
    EXPECT_FALSE(parseHex("1ffffffff", 0xFFFFFFFF).has_value());
}

TEST(PlaybackRange, DecodesThePackedWords) {
    // 24 February 2009, 13:05:07 to 13:59:59.
    EXPECT_EQ(packDateWord(2009, 2, 24), 0x180207d9u);
    EXPECT_EQ(packTimeWord(13, 5, 7), 0x7050d00u);
    EXPECT_EQ(packTimeWord(13, 59, 59), 0x3b3b0d00u);
    std::string error;
    const auto range = parsePlaybackQuery(parseQuery(kPlaybackQuery), &error);
    ASSERT_TRUE(range) << error;
    EXPECT_EQ(range->start.year, 2009);
    EXPECT_EQ(range->start.month, 2);
    EXPECT_EQ(range->start.day, 24);
    EXPECT_EQ(range->start.hour, 13);
    EXPECT_EQ(range->start.minute, 5);
    EXPECT_EQ(range->start.second, 7);
    EXPECT_EQ(range->endSeconds - range->startSeconds, 54 * 60 + 52);
    EXPECT_EQ(daysFromCivil(1970, 1, 1), 0);
    EXPECT_EQ(daysFromCivil(2009, 2, 24), 14299);

    // Fields a picker that could not break its value down would send, and impossible dates.
    EXPECT_FALSE(unpackTime(packDateWord(0, 0, 0), packTimeWord(13, 0, 0)));
    EXPECT_FALSE(unpackTime(packDateWord(2009, 2, 24), packTimeWord(-1, -1, -1)));
    EXPECT_FALSE(unpackTime(packDateWord(2009, 2, 29), 0));
    EXPECT_TRUE(unpackTime(packDateWord(2008, 2, 29), 0));
    EXPECT_FALSE(parsePlaybackQuery(parseQuery("func=write&startH=1&startL=1&endH=1&endL=1"), &error));
    EXPECT_FALSE(parsePlaybackQuery(parseQuery("func=read&startH=180207d9&startL=7050d00&endH=180207d9"), &error));
    EXPECT_FALSE(
        parsePlaybackQuery(parseQuery("func=read&startH=zz&startL=7050d00&endH=180207d9&endL=0"), &error));
}

// Whatever the bytes, the parsers finish, stay inside their input and never accept a damaged
// request as the original.
TEST(RequestParser, SurvivesTruncationsAndBitFlips) {
    std::mt19937 random(1234);
    HttpRequest r;
    std::string error;
    for (std::size_t cut = 0; cut < kLiveRequest.size(); ++cut) {
        const std::string head = kLiveRequest.substr(0, cut);
        const bool ok = parseRequestHead(head, r, &error);
        if (cut < kLiveRequest.find("\r\n")) {
            EXPECT_FALSE(ok) << cut;
        }
        parseQuery(kPlaybackQuery.substr(0, cut % kPlaybackQuery.size()));
        parsePlaybackQuery(parseQuery(kPlaybackQuery.substr(0, cut % kPlaybackQuery.size())), &error);
    }
    for (int round = 0; round < 3000; ++round) {
        std::string head = kLiveRequest, query = kPlaybackQuery;
        const int flips = 1 + int(random() % 4);
        for (int f = 0; f < flips; ++f) {
            head[random() % head.size()] ^= char(1u << (random() % 8));
            query[random() % query.size()] ^= char(1u << (random() % 8));
        }
        if (parseRequestHead(head, r, &error)) {
            EXPECT_EQ(r.method.empty(), false);
            EXPECT_EQ(r.target.front(), '/');
        }
        const auto range = parsePlaybackQuery(parseQuery(query), &error);
        if (range) {
            EXPECT_GE(range->start.month, 1);
            EXPECT_LE(range->start.month, 12);
            EXPECT_LE(range->endSeconds - range->startSeconds, kMaxPlaybackRangeSeconds);
        }
    }
}

TEST(AuthorizationHeader, SurvivesTruncationsAndBitFlips) {
    HttpAuth digest(AuthMode::Digest, "admin", "secret", 42);
    HttpAuth basic(AuthMode::Basic, "admin", "secret", 42);
    const std::string nonce = digest.makeNonce();
    EXPECT_TRUE(digest.nonceIsOurs(nonce));
    EXPECT_FALSE(digest.nonceIsOurs("123-0000000000000000"));
    EXPECT_FALSE(HttpAuth(AuthMode::Digest, "admin", "secret", 43).nonceIsOurs(nonce));

    const std::string uri = "/pushall.htm;0?scrw=1024";
    const std::string ha1 = md5Hex("admin:DVR:secret");
    const std::string ha2 = md5Hex("GET:" + uri);
    const std::string response = md5Hex(ha1 + ":" + nonce + ":00000001:abcdef:auth:" + ha2);
    const std::string good = "Digest username=\"admin\", realm=\"DVR\", nonce=\"" + nonce + "\", uri=\"" + uri +
                             "\", cnonce=\"abcdef\", nc=00000001, qop=auth, response=\"" + response +
                             "\", algorithm=MD5";
    auto requestWith = [&](const std::string& authorization) {
        HttpRequest r;
        r.method = "GET";
        r.target = uri;
        r.headers.emplace_back("Authorization", authorization);
        return r;
    };
    EXPECT_TRUE(digest.check(requestWith(good)));
    EXPECT_FALSE(basic.check(requestWith(good)));
    EXPECT_TRUE(basic.check(requestWith("Basic " + base64Encode("admin:secret"))));
    EXPECT_FALSE(basic.check(requestWith("Basic " + base64Encode("admin:secreT"))));
    EXPECT_FALSE(basic.check(HttpRequest{}));
    // Without qop, the older form of the response.
    const std::string oldForm = "Digest username=\"admin\", realm=\"DVR\", nonce=\"" + nonce + "\", uri=\"" + uri +
                                "\", response=\"" + md5Hex(ha1 + ":" + nonce + ":" + ha2) + "\"";
    EXPECT_TRUE(digest.check(requestWith(oldForm)));

    std::mt19937 random(99);
    // Cut anywhere before the end of the response value; what follows it is optional.
    const std::size_t responseEnd = good.find("\", algorithm");
    for (std::size_t cut = 0; cut <= responseEnd; ++cut)
        EXPECT_FALSE(digest.check(requestWith(good.substr(0, cut)))) << cut;
    int accepted = 0;
    for (int round = 0; round < 3000; ++round) {
        std::string damaged = good;
        damaged[random() % damaged.size()] ^= char(1u << (random() % 8));
        accepted += digest.check(requestWith(damaged)) ? 1 : 0;
    }
    // A flip can only pass where it changes nothing that is checked (letter case of a key or of
    // the hex response, spacing); a wrong credential never passes.
    EXPECT_LT(accepted, 300);
    EXPECT_FALSE(digest.check(
        requestWith(good.substr(0, good.find("response=")) + "response=\"" + std::string(32, '0') + "\"")));
}
