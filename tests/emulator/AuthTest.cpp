// Authentication through libcurl, an HTTP client nobody here wrote.

#include <curl/curl.h>
#include <gtest/gtest.h>

#include "base/DvrProtocol.h"
#include "tools/dvr/DvrServer.h"

using namespace vistrel::dvr;

namespace {

struct CurlResult {
    long status = 0;
    std::string body;
    std::string contentType;
};

std::size_t collect(char* data, std::size_t size, std::size_t count, void* user) {
    auto* body = static_cast<std::string*>(user);
    body->append(data, size * count);
    // Live bodies never end: stop after the first kilobytes.
    return body->size() > 4096 ? 0 : size * count;
}

CurlResult fetch(const std::string& url, const char* user, const char* password, long authMask) {
    CurlResult result;
    CURL* curl = curl_easy_init();
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_0);
    curl_easy_setopt(curl, CURLOPT_USERAGENT, vistrel::base::kStreamUserAgent);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, 20000L);
    curl_easy_setopt(curl, CURLOPT_NOPROXY, "*");
    if (user != nullptr) {
        curl_easy_setopt(curl, CURLOPT_USERNAME, user);
        curl_easy_setopt(curl, CURLOPT_PASSWORD, password);
        curl_easy_setopt(curl, CURLOPT_HTTPAUTH, authMask);
    }
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, collect);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &result.body);
    curl_easy_perform(curl);
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &result.status);
    char* type = nullptr;
    curl_easy_getinfo(curl, CURLINFO_CONTENT_TYPE, &type);
    if (type != nullptr) result.contentType = type;
    curl_easy_cleanup(curl);
    return result;
}

DvrOptions withAuth(AuthMode mode) {
    DvrOptions o;
    o.frameIntervalMs = 0;
    o.auth = mode;
    o.user = "admin";
    o.password = "s3cret";
    return o;
}

}  // namespace

TEST(Auth, BasicThroughLibcurl) {
    DvrServer dvr(withAuth(AuthMode::Basic));
    ASSERT_NE(dvr.start(), 0);
    const std::string url = dvr.baseUrl() + "/pushall.htm;9?scrw=1024";
    EXPECT_EQ(fetch(url, nullptr, nullptr, 0).status, 401);
    EXPECT_EQ(fetch(url, "admin", "wrong", CURLAUTH_BASIC).status, 401);
    const auto ok = fetch(url, "admin", "s3cret", CURLAUTH_BASIC);
    EXPECT_EQ(ok.status, 200);
    EXPECT_EQ(ok.contentType, "video/x-qdaxwmkvr4");
    EXPECT_GT(ok.body.size(), 1000u);
    // libcurl's probing mode learns the scheme from the challenge.
    EXPECT_EQ(fetch(url, "admin", "s3cret", CURLAUTH_ANY).status, 200);
    // Camera commands carry no credentials in the client and pass without them.
    EXPECT_EQ(
        fetch(dvr.baseUrl() + "/cam_ctrl.htm?Video_Source=2&Speed=1&camctrl_up=up", nullptr, nullptr, 0).status,
        200);
}

TEST(Auth, DigestThroughLibcurl) {
    DvrServer dvr(withAuth(AuthMode::Digest));
    ASSERT_NE(dvr.start(), 0);
    const std::string url = dvr.baseUrl() + "/pushall.htm;9?scrw=1024";
    EXPECT_EQ(fetch(url, nullptr, nullptr, 0).status, 401);
    EXPECT_EQ(fetch(url, "admin", "wrong", CURLAUTH_DIGEST).status, 401);
    EXPECT_EQ(fetch(url, "admin", "s3cret", CURLAUTH_BASIC).status, 401);
    const auto ok = fetch(url, "admin", "s3cret", CURLAUTH_DIGEST);
    EXPECT_EQ(ok.status, 200);
    EXPECT_GT(ok.body.size(), 1000u);
    EXPECT_EQ(fetch(url, "admin", "s3cret", CURLAUTH_ANY).status, 200);
    // The playback page too, whose URL carries a long query.
    const auto playback = fetch(dvr.baseUrl() +
                                    "/dvr_playback.htm?func=read&video_source=FFFF&startH=180207d9&startL=1e0d00"
                                    "&endH=180207d9&endL=3b3b0d00",
                                "admin", "s3cret", CURLAUTH_DIGEST);
    EXPECT_EQ(playback.status, 200);
}
