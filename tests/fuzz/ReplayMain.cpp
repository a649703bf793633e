// Runs a fuzz target over every file of the given folders, in name order, without a fuzzing
// engine: the seeds and every input that once crashed, hung or leaked stay in ./test for good.
// Seeds (files named seed-*) are also replayed cut short and with bits flipped, at positions drawn
// from a fixed sequence, so every parser meets truncations and bit flips in every run.
// Usage: fuzz_replay TARGET DIR_OR_FILE...   (fuzz_replay --list names the targets)
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "fuzz/FuzzTarget.h"

namespace fs = std::filesystem;

namespace {

bool readFile(const fs::path& path, std::vector<std::uint8_t>* bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

constexpr int kTruncations = 8;
constexpr int kFlipRuns = 12;
constexpr int kFlipsPerRun = 4;

// Runs the input in an exact-size block of its own, as libFuzzer hands inputs over.
void runExact(const vistrel::fuzz::TargetEntry& target, const std::uint8_t* data, std::size_t size) {
    std::vector<std::uint8_t> input(data, data + size);
    target.run(input.empty() ? nullptr : input.data(), input.size());
}

void runMutations(const vistrel::fuzz::TargetEntry& target, const fs::path& file,
                  const std::vector<std::uint8_t>& bytes) {
    if (bytes.empty()) return;
    const std::string name = file.filename().string();
    std::seed_seq seed(name.begin(), name.end());
    std::mt19937 random(seed);
    for (int i = 1; i <= kTruncations; ++i)
        runExact(target, bytes.data(), bytes.size() * std::size_t(i) / (kTruncations + 1));
    runExact(target, bytes.data(), bytes.size() - 1);
    std::vector<std::uint8_t> flipped;
    for (int run = 0; run < kFlipRuns; ++run) {
        flipped = bytes;
        for (int k = 0; k < kFlipsPerRun; ++k) {
            const std::size_t at = random() % flipped.size();
            flipped[at] ^= std::uint8_t(1u << (random() % 8));
        }
        runExact(target, flipped.data(), flipped.size());
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::string(argv[1]) == "--list") {
        for (const auto& t : vistrel::fuzz::Targets()) std::printf("%s\n", t.name);
        return 0;
    }
    if (argc < 3) {
        std::fprintf(stderr, "usage: fuzz_replay TARGET DIR_OR_FILE...\n");
        return 2;
    }
    const vistrel::fuzz::TargetEntry* target = vistrel::fuzz::FindTarget(argv[1]);
    if (target == nullptr) {
        std::fprintf(stderr, "fuzz_replay: no target named %s\n", argv[1]);
        return 2;
    }
    std::vector<fs::path> files;
    for (int i = 2; i < argc; ++i) {
        std::error_code ec;
        if (fs::is_directory(argv[i], ec)) {
            for (const auto& entry : fs::directory_iterator(argv[i], ec))
                if (entry.is_regular_file()) files.push_back(entry.path());
        } else if (fs::is_regular_file(argv[i], ec)) {
            files.emplace_back(argv[i]);
        }
    }
    std::sort(files.begin(), files.end());
    // A target without kept inputs would pass without checking anything.
    if (files.empty()) {
        std::fprintf(stderr, "fuzz_replay: no inputs for %s\n", argv[1]);
        return 1;
    }
    std::vector<std::uint8_t> bytes;
    for (const fs::path& file : files) {
        if (!readFile(file, &bytes)) {
            std::fprintf(stderr, "fuzz_replay: cannot read %s\n", file.c_str());
            return 1;
        }
        std::fprintf(stderr, "%s\n", file.filename().c_str());
        runExact(*target, bytes.data(), bytes.size());
        if (file.filename().string().rfind("seed-", 0) == 0) runMutations(*target, file, bytes);
    }
    std::printf("%s: %zu inputs replayed\n", argv[1], files.size());
    return 0;
}
