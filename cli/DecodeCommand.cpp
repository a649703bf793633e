// vistrel-cli decode: not built yet.

#include <cstdio>

#include "cli/Commands.h"

namespace vistrel::cli {

int runDecode(int, char**) {
    std::fprintf(stderr, "vistrel-cli decode: not available in this build\n");
    return 1;
}

}  // namespace vistrel::cli
