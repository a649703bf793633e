#include "stream/http/StreamRequest.h"

#include <curl/curl.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>

#include "base/DvrProtocol.h"
#include "stream/http/CurlRoot.h"
#include "stream/http/StreamUrl.h"

namespace vistrel::http {

namespace {

using Clock = std::chrono::steady_clock;

// Authentication answers (and 404, which some DVRs give before a channel is ready) are retried
// this many times before the request fails.
constexpr int kMaxStatusRetries = 3;
constexpr auto kCloseWaitLimit = std::chrono::milliseconds(10000);
// The worker waits on its sockets this long at most before it looks at the time limits again;
// an abort does not wait for it (CloseStreamRequest wakes the wait).
constexpr int kPollSliceMs = 250;
constexpr long kHttpOk = 200;

thread_local StreamRequest* tCurrentRequest = nullptr;

bool isRetriedStatus(long code) { return code == 401 || code == 404 || code == 407; }

}  // namespace

struct StreamRequest {
    // Set by OpenStreamRequest before the worker starts; read-only afterwards.
    std::string url;
    std::string userName;
    std::string password;
    StreamDataCallback callback = nullptr;
    void* context = nullptr;
    StreamRequestLimits limits;

    // Written by CloseStreamRequest (any thread), read by the worker and the consumer callback.
    std::atomic<int> abort{0};
    // Written by the worker only; read by anyone.
    std::atomic<std::int32_t> state{static_cast<std::int32_t>(RequestState::Created)};
    // contentType is written by the worker before it sets responded (release); readers check
    // responded (acquire) first and never see it change afterwards.
    char contentType[kMaxContentTypeLength + 1] = {};
    std::atomic<bool> responded{false};

    // The transfer's multi handle while one runs: set and cleared by the worker under multiLock,
    // so that CloseStreamRequest can wake the worker's wait without racing with its clean-up.
    std::mutex multiLock;
    CURLM* multi = nullptr;

    std::thread thread;
    // Hand-off of the request's ownership at the end: guarded by doneLock.
    std::mutex doneLock;
    std::condition_variable doneSignal;
    bool done = false;      // the worker has made its final notice
    bool orphaned = false;  // the closer gave up waiting; the worker frees the request

    // Worker thread only.
    CURL* easy = nullptr;
    std::uint8_t block[kStreamBlockSize] = {};
    std::uint32_t blockFill = 0;
    int first = 1;
    bool statusChecked = false;  // the current response's status line has been judged
    bool consumerEnded = false;  // a callback returned zero
    bool timedOut = false;
    Clock::time_point sendStart;
    Clock::time_point readStart;
    Clock::time_point lastByte;  // of the current response's body (or its start)

    void setState(RequestState s) { state.store(static_cast<std::int32_t>(s)); }
    bool aborted() const { return abort.load() != 0; }

    // Hands one call to the consumer and keeps the first-call flag's rule.
    bool deliver(const std::uint8_t* data, std::uint32_t length) {
        const int result = callback(first, data, length, context, &abort);
        if (result == 0) {
            consumerEnded = true;
            return false;
        }
        first = 0;
        return true;
    }
};

namespace {

// The response headers are complete; a 200 makes the request Responded.
void onHeadersDone(StreamRequest* r) {
    long code = 0;
    curl_easy_getinfo(r->easy, CURLINFO_RESPONSE_CODE, &code);
    if (code != kHttpOk) return;  // an interim answer (authentication challenge, error page)
    const char* type = nullptr;
    if (curl_easy_getinfo(r->easy, CURLINFO_CONTENT_TYPE, &type) != CURLE_OK || type == nullptr) type = "";
    std::strncpy(r->contentType, type, kMaxContentTypeLength);
    r->contentType[kMaxContentTypeLength] = '\0';
    r->statusChecked = true;
    r->setState(RequestState::Responded);
    r->responded.store(true, std::memory_order_release);
    r->readStart = Clock::now();
    r->lastByte = r->readStart;
    r->setState(RequestState::Reading);
}

// The send, read or idle limit has passed for the phase the request is in.
bool limitPassed(const StreamRequest* r) {
    const auto now = Clock::now();
    if (!r->responded.load(std::memory_order_relaxed) || !r->statusChecked)
        return now - r->sendStart >= std::chrono::milliseconds(r->limits.sendMs);
    if (now - r->readStart >= std::chrono::milliseconds(r->limits.readMs)) return true;
    return r->limits.idleMs != 0 && now - r->lastByte >= std::chrono::milliseconds(r->limits.idleMs);
}

size_t onHeader(char* line, size_t size, size_t count, void* user) {
    auto* r = static_cast<StreamRequest*>(user);
    const size_t n = size * count;
    if (r->aborted()) return 0;
    // A new status line starts a new response (the one after an authentication challenge).
    if (n >= 5 && std::memcmp(line, "HTTP/", 5) == 0) r->statusChecked = false;
    if (!r->statusChecked && (n == 2 && line[0] == '\r' && line[1] == '\n')) onHeadersDone(r);
    if (!r->statusChecked && n == 1 && line[0] == '\n') onHeadersDone(r);
    return n;
}

size_t onBody(char* data, size_t size, size_t count, void* user) {
    auto* r = static_cast<StreamRequest*>(user);
    const size_t n = size * count;
    if (r->aborted()) return 0;
    // Bodies of answers other than 200 are read and dropped; the status decides afterwards.
    if (!r->responded.load(std::memory_order_relaxed) || !r->statusChecked) return n;
    if (n > 0) r->lastByte = Clock::now();
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(data);
    size_t taken = 0;
    while (taken < n) {
        const size_t room = kStreamBlockSize - r->blockFill;
        const size_t part = std::min(room, n - taken);
        std::memcpy(r->block + r->blockFill, bytes + taken, part);
        r->blockFill += static_cast<std::uint32_t>(part);
        taken += part;
        if (r->blockFill == kStreamBlockSize) {
            if (!r->deliver(r->block, kStreamBlockSize)) return 0;
            r->blockFill = 0;
            if (r->aborted()) return 0;
            r->readStart = Clock::now();
        }
    }
    // Time the consumer spent blocked on its own queue is not silence of the server.
    r->lastByte = Clock::now();
    return n;
}

int onProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    auto* r = static_cast<StreamRequest*>(user);
    if (r->aborted()) return 1;
    if (limitPassed(r)) {
        r->timedOut = true;
        return 1;
    }
    return 0;
}

// One transfer of the easy handle through a multi handle of its own. Waiting on the multi handle
// (rather than inside curl_easy_perform) lets an abort end the wait at once through
// curl_multi_wakeup; the easy interface would only see it at its next progress call, up to a
// second later on a silent connection.
CURLcode performTransfer(StreamRequest* r) {
    CURLM* multi = curl_multi_init();
    if (multi == nullptr) return CURLE_OUT_OF_MEMORY;
    if (curl_multi_add_handle(multi, r->easy) != CURLM_OK) {
        curl_multi_cleanup(multi);
        return CURLE_FAILED_INIT;
    }
    {
        std::lock_guard<std::mutex> guard(r->multiLock);
        r->multi = multi;
    }
    CURLcode result = CURLE_OK;
    for (;;) {
        int running = 0;
        if (curl_multi_perform(multi, &running) != CURLM_OK) {
            result = CURLE_RECV_ERROR;
            break;
        }
        bool finished = false;
        int queued = 0;
        while (CURLMsg* message = curl_multi_info_read(multi, &queued)) {
            if (message->msg == CURLMSG_DONE && message->easy_handle == r->easy) {
                result = message->data.result;
                finished = true;
            }
        }
        if (finished || running == 0) break;
        if (r->aborted()) {
            result = CURLE_ABORTED_BY_CALLBACK;
            break;
        }
        if (limitPassed(r)) {
            r->timedOut = true;
            result = CURLE_OPERATION_TIMEDOUT;
            break;
        }
        if (curl_multi_poll(multi, nullptr, 0, kPollSliceMs, nullptr) != CURLM_OK) {
            result = CURLE_RECV_ERROR;
            break;
        }
    }
    {
        std::lock_guard<std::mutex> guard(r->multiLock);
        r->multi = nullptr;
    }
    curl_multi_remove_handle(multi, r->easy);
    curl_multi_cleanup(multi);
    return result;
}

bool configure(StreamRequest* r, const std::string& requestUrl) {
    CURL* e = r->easy;
    bool ok = curl_easy_setopt(e, CURLOPT_URL, requestUrl.c_str()) == CURLE_OK;
    ok = ok && curl_easy_setopt(e, CURLOPT_HTTP_VERSION, long(CURL_HTTP_VERSION_1_0)) == CURLE_OK;
    ok = ok && curl_easy_setopt(e, CURLOPT_USERAGENT, base::kStreamUserAgent) == CURLE_OK;
    ok = ok && curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L) == CURLE_OK;
    // DVRs are reached directly; a proxy from the environment would swallow the live stream.
    ok = ok && curl_easy_setopt(e, CURLOPT_PROXY, "") == CURLE_OK;
    ok = ok && curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 0L) == CURLE_OK;
#if LIBCURL_VERSION_NUM >= 0x075700
    // An abort during name resolution must not wait for the resolver thread to finish.
    ok = ok && curl_easy_setopt(e, CURLOPT_QUICK_EXIT, 1L) == CURLE_OK;
#endif
    ok = ok && curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, long(r->limits.sendMs)) == CURLE_OK;
    ok = ok && curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, onHeader) == CURLE_OK;
    ok = ok && curl_easy_setopt(e, CURLOPT_HEADERDATA, r) == CURLE_OK;
    ok = ok && curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, onBody) == CURLE_OK;
    ok = ok && curl_easy_setopt(e, CURLOPT_WRITEDATA, r) == CURLE_OK;
    ok = ok && curl_easy_setopt(e, CURLOPT_NOPROGRESS, 0L) == CURLE_OK;
    ok = ok && curl_easy_setopt(e, CURLOPT_XFERINFOFUNCTION, onProgress) == CURLE_OK;
    ok = ok && curl_easy_setopt(e, CURLOPT_XFERINFODATA, r) == CURLE_OK;
    if (!r->userName.empty() || !r->password.empty()) {
        ok = ok && curl_easy_setopt(e, CURLOPT_HTTPAUTH, long(CURLAUTH_BASIC | CURLAUTH_DIGEST)) == CURLE_OK;
        ok = ok && curl_easy_setopt(e, CURLOPT_USERNAME, r->userName.c_str()) == CURLE_OK;
        ok = ok && curl_easy_setopt(e, CURLOPT_PASSWORD, r->password.c_str()) == CURLE_OK;
    }
    return ok;
}

// Connects, sends and reads until the body ends, retrying authentication and 404 answers.
// Returns with the consumer's calls made except the final notice.
void runRequest(StreamRequest* r) {
    r->setState(RequestState::Opening);
    StreamUrlParts parts;
    std::string requestUrl;
    if (!SplitStreamUrl(r->url, &parts) || !BuildRequestUrl(parts, &requestUrl)) {
        r->setState(RequestState::Failed);
        return;
    }
    r->easy = curl_easy_init();
    if (r->easy == nullptr || !configure(r, requestUrl)) {
        if (r->easy != nullptr) curl_easy_cleanup(r->easy);
        r->easy = nullptr;
        r->setState(RequestState::Failed);
        return;
    }
    const bool haveBoth = !r->userName.empty() && !r->password.empty();
    bool failed = false;
    bool closedByServer = false;
    for (int attempt = 0;; ++attempt) {
        r->setState(RequestState::Sending);
        r->statusChecked = false;
        r->timedOut = false;
        r->sendStart = Clock::now();
        const CURLcode rc = performTransfer(r);
        if (r->responded.load() && r->statusChecked) {
            // The body ended: by the server (closed notice), by the consumer, by abort or a time-out.
            closedByServer = !r->aborted() && !r->consumerEnded && !r->timedOut &&
                             rc != CURLE_ABORTED_BY_CALLBACK && rc != CURLE_WRITE_ERROR &&
                             rc != CURLE_OPERATION_TIMEDOUT;
            break;
        }
        long code = 0;
        curl_easy_getinfo(r->easy, CURLINFO_RESPONSE_CODE, &code);
        if (r->aborted() || r->timedOut || code == 0) {
            failed = true;
            break;
        }
        if (code == kHttpOk) {
            // A 200 whose headers never reached the header callback's end (cannot normally
            // happen); take it as an empty body.
            onHeadersDone(r);
            closedByServer = true;
            break;
        }
        if (!isRetriedStatus(code) || attempt >= kMaxStatusRetries || !haveBoth) {
            failed = true;
            break;
        }
        r->setState(RequestState::Opening);
    }

    if (closedByServer && !r->aborted()) {
        // A body that ends inside a block still delivers what arrived, before the closed notice.
        bool goOn = true;
        if (r->blockFill > 0) goOn = r->deliver(r->block, r->blockFill);
        if (goOn && !r->aborted()) r->deliver(r->block, 0);
    }
    r->setState(RequestState::ClosingHandle);
    curl_easy_cleanup(r->easy);
    r->easy = nullptr;
    if (failed) r->setState(RequestState::Failed);
}

void workerMain(StreamRequest* r) {
    tCurrentRequest = r;
    runRequest(r);
    r->callback(0, nullptr, 0, r->context, nullptr);
    tCurrentRequest = nullptr;
    bool orphan = false;
    {
        std::lock_guard<std::mutex> lock(r->doneLock);
        r->done = true;
        orphan = r->orphaned;
        r->doneSignal.notify_all();
    }
    if (orphan) {
        CurlRoot::requestClosed();
        delete r;
    }
}

}  // namespace

bool OpenInternetRoot(const char* agent) { return CurlRoot::open(agent); }

void CloseInternetRoot() { CurlRoot::close(); }

StreamRequest* OpenStreamRequest(const char* url, const char* userName, const char* password,
                                 StreamDataCallback callback, void* context) {
    return OpenStreamRequest(url, userName, password, callback, context, StreamRequestLimits{});
}

StreamRequest* OpenStreamRequest(const char* url, const char* userName, const char* password,
                                 StreamDataCallback callback, void* context, const StreamRequestLimits& limits) {
    if (callback == nullptr || !CurlRoot::requestOpened()) return nullptr;
    auto* r = new (std::nothrow) StreamRequest;
    if (r == nullptr) {
        CurlRoot::requestClosed();
        return nullptr;
    }
    r->url = std::string(url ? url : "").substr(0, kMaxUrlLength);
    r->userName = std::string(userName ? userName : "").substr(0, base::kMaxCredentialLength);
    r->password = std::string(password ? password : "").substr(0, base::kMaxCredentialLength);
    r->callback = callback;
    r->context = context;
    r->limits = limits;
    try {
        r->thread = std::thread(workerMain, r);
    } catch (...) {
        delete r;
        CurlRoot::requestClosed();
        return nullptr;
    }
    return r;
}

void CloseStreamRequest(StreamRequest* request, bool wait) {
    if (request == nullptr) return;
    request->abort.store(1);
    {
        std::lock_guard<std::mutex> guard(request->multiLock);
        if (request->multi != nullptr) curl_multi_wakeup(request->multi);
    }
    if (!wait) return;
    {
        std::unique_lock<std::mutex> lock(request->doneLock);
        if (!request->doneSignal.wait_for(lock, kCloseWaitLimit, [&] { return request->done; })) {
            std::fprintf(stderr, "vistrel: stream worker did not end within %lld ms; left running\n",
                         static_cast<long long>(kCloseWaitLimit.count()));
            request->orphaned = true;
            request->thread.detach();
            return;  // the worker frees the request when it ends
        }
    }
    request->thread.join();
    delete request;
    CurlRoot::requestClosed();
}

bool GetStreamContentType(StreamRequest* request, int option, char* buffer, std::size_t bufferSize) {
    if (request == nullptr || option != kStreamInfoContentType || buffer == nullptr || bufferSize == 0)
        return false;
    if (!request->responded.load(std::memory_order_acquire)) return false;
    std::size_t n = std::strlen(request->contentType);
    if (n > bufferSize - 1) n = bufferSize - 1;
    std::memcpy(buffer, request->contentType, n);
    buffer[n] = '\0';
    return true;
}

RequestState GetStreamRequestState(const StreamRequest* request) {
    return static_cast<RequestState>(request->state.load());
}

StreamRequest* CurrentStreamRequest() { return tCurrentRequest; }

}  // namespace vistrel::http
