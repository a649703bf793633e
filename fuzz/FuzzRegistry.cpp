#include "fuzz/FuzzTarget.h"

#include <cstring>

namespace vistrel::fuzz {

namespace {
// Built on first use: registration runs from static initialisers in any order.
std::vector<TargetEntry>& registry() {
    static std::vector<TargetEntry> targets;
    return targets;
}
}  // namespace

bool RegisterTarget(const char* name, TargetFunction run) {
    registry().push_back(TargetEntry{name, run});
    return true;
}

const std::vector<TargetEntry>& Targets() { return registry(); }

const TargetEntry* FindTarget(const char* name) {
    for (const TargetEntry& t : registry())
        if (std::strcmp(t.name, name) == 0) return &t;
    return nullptr;
}

}  // namespace vistrel::fuzz
