#pragma once
// One entry point per parser of untrusted bytes, registered by name so that the same code runs
// under libFuzzer (one executable per target) and in the replay of the kept inputs (all targets in
// one executable, no fuzzing engine needed).

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vistrel::fuzz {

using TargetFunction = int (*)(const std::uint8_t* data, std::size_t size);

struct TargetEntry {
    const char* name;
    TargetFunction run;
};

// Called from static initialisers; returns true so it can initialise a flag.
bool RegisterTarget(const char* name, TargetFunction run);
const std::vector<TargetEntry>& Targets();
const TargetEntry* FindTarget(const char* name);

}  // namespace vistrel::fuzz

// Defines and registers a target: VISTREL_FUZZ_TARGET(mpeg4_library) { ... use data, size ... }
#define VISTREL_FUZZ_TARGET(name)                                             \
    static int FuzzTarget_##name(const std::uint8_t* data, std::size_t size); \
    [[maybe_unused]] static const bool kFuzzRegistered_##name =               \
        ::vistrel::fuzz::RegisterTarget(#name, &FuzzTarget_##name);           \
    static int FuzzTarget_##name(const std::uint8_t* data, std::size_t size)
