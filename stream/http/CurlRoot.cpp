#include "stream/http/CurlRoot.h"

#include <curl/curl.h>

#include <mutex>
#include <string>

namespace vistrel::http {

namespace {

// Guards every field below.
std::mutex gRootLock;
bool gOpen = false;
int gOutstanding = 0;  // requests opened and not yet freed
std::string gAgent;

}  // namespace

bool CurlRoot::open(const char* agent) {
    std::lock_guard<std::mutex> lock(gRootLock);
    if (gOpen) return true;
    if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) return false;
    gAgent = agent ? agent : "";
    gOpen = true;
    return true;
}

void CurlRoot::close() {
    std::lock_guard<std::mutex> lock(gRootLock);
    // Requests still running keep libcurl's global state alive; the process end reclaims it.
    if (!gOpen || gOutstanding > 0) return;
    curl_global_cleanup();
    gOpen = false;
}

bool CurlRoot::isOpen() {
    std::lock_guard<std::mutex> lock(gRootLock);
    return gOpen;
}

bool CurlRoot::requestOpened() {
    std::lock_guard<std::mutex> lock(gRootLock);
    if (!gOpen) return false;
    ++gOutstanding;
    return true;
}

void CurlRoot::requestClosed() {
    std::lock_guard<std::mutex> lock(gRootLock);
    if (gOutstanding > 0) --gOutstanding;
}

}  // namespace vistrel::http
