#pragma once
// The process-wide HTTP client root: libcurl's global state, set up once and counted by its users.

namespace vistrel::http {

class CurlRoot {
public:
    // curl_global_init on the first call; later calls succeed without effect.
    static bool open(const char* agent);
    // curl_global_cleanup, once no request is outstanding; a no-op when not open.
    static void close();
    static bool isOpen();
    // Counts a request that needs the root; false (nothing counted) when the root is not open.
    static bool requestOpened();
    static void requestClosed();
};

}  // namespace vistrel::http
