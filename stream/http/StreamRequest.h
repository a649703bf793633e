#pragma once
// One long-lived HTTP/1.0 GET whose body a worker thread hands to a consumer callback in 1024-byte blocks.

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace vistrel::http {

// Values kept in the request's state field (2 and 6 are unused).
enum class RequestState : std::int32_t {
    Created = 0,
    Opening = 1,
    Sending = 3,
    Responded = 4,
    Reading = 5,
    ClosingHandle = 7,
    Failed = 8,
};

// Body bytes per data block call.
constexpr std::uint32_t kStreamBlockSize = 1024;

// The consumer of a request's body; always called on the request's worker thread.
//   data block:    first = 1 until a call has returned non-zero, then 0; data = the block;
//                  length = 1..1024 (1024 except for the last block of a body); abortFlag given.
//   closed notice: first as above; data non-null; length 0; abortFlag given. The server ended the body.
//   final notice:  first 0; data null; length 0; abortFlag null. The worker is ending; always the
//                  last call of a request and always made, also when connecting failed or on abort.
// Return non-zero to go on, zero to end the stream. A callback that blocks (e.g. on a full queue)
// must watch *abortFlag and return zero once it is non-zero.
// The data pointer is valid only during the call; the callback copies what it keeps.
using StreamDataCallback = int (*)(int first, const std::uint8_t* data, std::uint32_t length, void* context,
                                   const std::atomic<int>* abortFlag);

// Opaque; allocated by OpenStreamRequest, freed by CloseStreamRequest(request, true).
struct StreamRequest;

// Time limits of one request. The defaults are the DVR client's; tests shorten them.
struct StreamRequestLimits {
    // From sending the request until the response headers have arrived.
    std::uint32_t sendMs = 120000;
    // From the start of a block read until the block is complete (or the body ended).
    std::uint32_t readMs = 120000;
    // Once the body has begun: longest time without a single byte before the response counts as
    // broken (0: no such limit). A live stream that stalls is not worth the two minutes of readMs.
    std::uint32_t idleMs = 0;
};

// Opens the process-wide root once (curl_global_init); a second call is a no-op returning true.
// The agent name is kept for diagnostics; requests send "User-Agent: MSIE" as the DVRs expect.
bool OpenInternetRoot(const char* agent);
// Closes the root (curl_global_cleanup) once no request is open. For program end and tests.
void CloseInternetRoot();

// Starts a request on a worker thread of its own and returns at once; null when the root is not
// open or resources run out (then no callback is ever made). Null user name or password = empty.
// url: "http://host[:port][/path]" (port 1..65535, default 80); text without "http://" is a host
// name with port 80 and path "/". At most 511 URL characters and 127 of user name and password
// are used.
StreamRequest* OpenStreamRequest(const char* url, const char* userName, const char* password,
                                 StreamDataCallback callback, void* context);
StreamRequest* OpenStreamRequest(const char* url, const char* userName, const char* password,
                                 StreamDataCallback callback, void* context, const StreamRequestLimits& limits);

// Always raises the abort flag and wakes the worker, which ends its transfer at once, whether
// data flows or the server has gone quiet (a callback blocked on its own queue must watch the
// flag, see StreamDataCallback). wait = false returns at once
// and the request stays allocated. wait = true also waits up to 10 s for the worker to end and frees
// the request; the caller must not use it afterwards. A worker that misses the deadline is reported
// on stderr and left to free the request itself when it ends.
// Must not be called with wait = true from the request's own callback.
void CloseStreamRequest(StreamRequest* request, bool wait);

constexpr int kStreamInfoContentType = 1;
// A response's content type is kept to this many characters (a buffer needs one more).
inline constexpr std::size_t kMaxContentTypeLength = 127;

// option 1 only: copies the response's Content-Type (at most 127 characters, cut to bufferSize - 1,
// terminated) once the request has received its 200 response; false otherwise.
bool GetStreamContentType(StreamRequest* request, int option, char* buffer, std::size_t bufferSize);

// The request's current state (for tests and diagnostics).
RequestState GetStreamRequestState(const StreamRequest* request);

// The request whose worker is the calling thread, or null: lets a callback find its request even
// before OpenStreamRequest has returned to the code that stores the handle.
StreamRequest* CurrentStreamRequest();

}  // namespace vistrel::http
