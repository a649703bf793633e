// libFuzzer's entry: each fuzz executable links exactly one target file.
#include <cstdio>
#include <cstdlib>

#include "fuzz/FuzzTarget.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const vistrel::fuzz::TargetEntry* target = [] {
        const auto& all = vistrel::fuzz::Targets();
        if (all.size() != 1) {
            std::fprintf(stderr, "fuzz executable must hold exactly one target (has %zu)\n", all.size());
            std::abort();
        }
        return &all.front();
    }();
    return target->run(data, size);
}
