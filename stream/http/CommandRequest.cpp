#include "stream/http/CommandRequest.h"

#include <curl/curl.h>

#include "base/DvrProtocol.h"
#include "stream/http/CurlRoot.h"

namespace vistrel::http {

namespace {

// The answer is not wanted; reading it lets the connection close normally.
size_t discardBody(char*, size_t size, size_t count, void*) { return size * count; }

}  // namespace

CommandResult SendCommandRequest(const std::string& url, const std::string& userName, const std::string& password,
                                 long connectTimeoutMs, long totalTimeoutMs) {
    CommandResult result;
    if (!CurlRoot::requestOpened()) {
        result.error = "HTTP client not initialised";
        return result;
    }
    CURL* e = curl_easy_init();
    if (e == nullptr) {
        CurlRoot::requestClosed();
        result.error = "out of memory";
        return result;
    }
    char errorText[CURL_ERROR_SIZE] = {};
    curl_easy_setopt(e, CURLOPT_URL, url.c_str());
    curl_easy_setopt(e, CURLOPT_HTTP_VERSION, long(CURL_HTTP_VERSION_1_0));
    curl_easy_setopt(e, CURLOPT_USERAGENT, base::kCommandUserAgent);
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(e, CURLOPT_PROXY, "");
    curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, connectTimeoutMs);
    curl_easy_setopt(e, CURLOPT_TIMEOUT_MS, totalTimeoutMs);
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, discardBody);
    curl_easy_setopt(e, CURLOPT_ERRORBUFFER, errorText);
    if (!userName.empty() || !password.empty()) {
        curl_easy_setopt(e, CURLOPT_HTTPAUTH, long(CURLAUTH_BASIC | CURLAUTH_DIGEST));
        curl_easy_setopt(e, CURLOPT_USERNAME, userName.c_str());
        curl_easy_setopt(e, CURLOPT_PASSWORD, password.c_str());
    }
    const CURLcode rc = curl_easy_perform(e);
    curl_easy_getinfo(e, CURLINFO_RESPONSE_CODE, &result.status);
    result.answered = result.status != 0;
    const char* type = nullptr;
    if (curl_easy_getinfo(e, CURLINFO_CONTENT_TYPE, &type) == CURLE_OK && type != nullptr)
        result.contentType = type;
    if (!result.answered) result.error = errorText[0] ? errorText : curl_easy_strerror(rc);
    curl_easy_cleanup(e);
    CurlRoot::requestClosed();
    return result;
}

}  // namespace vistrel::http
