// The profile file: the key search on the file's text, and the whole load from a file holding the
// input (counts, indexed keys, long values, the old single-entry form).

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "app/profile/Profile.h"
#include "fuzz/FuzzSupport.h"
#include "fuzz/FuzzTarget.h"

using namespace vistrel;
using namespace vistrel::fuzz;

namespace {

// One scratch file per process, removed at exit.
const std::string& scratchPath() {
    static const std::string path = [] {
        char name[] = "/tmp/vistrel-fuzz-profile-XXXXXX";
        const int fd = mkstemp(name);
        if (fd < 0) Finding("no scratch file for the profile");
        close(fd);
        std::atexit([] { std::remove(scratchPath().c_str()); });
        return std::string(name);
    }();
    return path;
}

void checkField(const char (&field)[128]) {
    if (std::memchr(field, 0, sizeof field) == nullptr) Finding("profile field without terminator");
}

}  // namespace

VISTREL_FUZZ_TARGET(profile_reader) {
    {
        HeapCopy text(data, size, 1);
        static const char* const kKeys[] = {"QM_HOST_COUNT=", "QM_HOST0=", "QM_NAME=", "QM_PORT1=", "="};
        char out[16];
        for (const char* key : kKeys) {
            std::memset(out, 'x', sizeof out);
            if (app::FindProfileValue(reinterpret_cast<const char*>(text.data()), key, out, sizeof out) &&
                std::memchr(out, 0, sizeof out) == nullptr)
                Finding("profile value without terminator");
        }
    }
    std::FILE* file = std::fopen(scratchPath().c_str(), "wb");
    if (file == nullptr) return 0;
    if (size) std::fwrite(data, 1, size, file);
    std::fclose(file);
    // 128 KB: one per process, cleared for each input, rather than a fresh mapping each time.
    static auto* table = new app::ProfileTable;
    *table = {};
    int hosts = -1;
    int accounts = -1;
    if (app::LoadProfile(*table, scratchPath(), &hosts, &accounts)) {
        if (hosts < 0 || hosts > app::kProfileEntryCount || accounts < 0 || accounts > app::kProfileEntryCount)
            Finding("profile counts out of range");
        for (const app::ProfileEntry& e : table->entries) {
            checkField(e.host);
            checkField(e.user);
            checkField(e.password);
            checkField(e.port);
        }
    }
    return 0;
}
