// The profile file: the key search on the file's text, and the whole load from a file holding the
// input (counts, indexed keys, long values, the old single-entry form).

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "app/profile/Profile.h"
#include "fuzz/FuzzSupport.h"
#include "fuzz/FuzzTarget.h"

using namespace vistrel;
using namespace vistrel::fuzz;

namespace {

// One scratch file per process, unlinked at once and reached through its descriptor, so that no
// run leaves one behind however it ends. In memory where the system has a memory file system: on a
// disk, rewriting the file made every input wait for a write-back.
struct Scratch {
    int fd = -1;
    std::string path;
};

const Scratch& scratch() {
    static const Scratch file = [] {
        std::string pattern = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        pattern += "/vistrel-fuzz-profile-XXXXXX";
        std::unique_ptr<char[]> name(new char[pattern.size() + 1]);
        std::memcpy(name.get(), pattern.c_str(), pattern.size() + 1);
        Scratch made;
        made.fd = mkstemp(name.get());
        if (made.fd < 0) Finding("no scratch file for the profile");
        unlink(name.get());
        made.path = "/proc/self/fd/" + std::to_string(made.fd);
        return made;
    }();
    return file;
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
    const Scratch& file = scratch();
    if (ftruncate(file.fd, 0) != 0 || pwrite(file.fd, data, size, 0) != ssize_t(size)) return 0;
    // 128 KB: one per process, cleared for each input, rather than a fresh mapping each time.
    static auto* table = new app::ProfileTable;
    *table = {};
    int hosts = -1;
    int accounts = -1;
    if (app::LoadProfile(*table, file.path, &hosts, &accounts)) {
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
