#pragma once
// A private folder per test, and whole-file reads and writes, so no test touches ~/.config.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "app/profile/Profile.h"

namespace vistrel::app::test {

class TempFolder {
public:
    TempFolder() {
        std::string pattern =
                (std::filesystem::temp_directory_path() / "vistrel-profile-XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
    }
    ~TempFolder() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

inline std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteWholeFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// 128 KB: on the heap, and zeroed as a fresh program's table is.
inline std::unique_ptr<ProfileTable> NewTable() { return std::make_unique<ProfileTable>(); }

}  // namespace vistrel::app::test
