#include "tests/support/Files.h"

#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace vistrel::testsupport {

std::vector<std::uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool WriteFile(const std::string& path, const std::uint8_t* data, std::size_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), std::streamsize(size));
    out.close();
    return bool(out);
}

bool WriteFile(const std::string& path, const std::vector<std::uint8_t>& data) {
    return WriteFile(path, data.data(), data.size());
}

bool WriteText(const std::string& path, const std::string& text) {
    return WriteFile(path, reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

bool FileExists(const std::string& path) { return ::access(path.c_str(), R_OK) == 0; }

TempFolder::TempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vistrel-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
}

std::string ScratchDir(const std::string& relative) {
    // A program run once more at another CPU level (VISTREL_CPU) may run beside its first run:
    // each level writes its decodings under a root of its own.
    std::string root = VISTREL_BINARY_DIR;
    if (const char* level = std::getenv("VISTREL_CPU"); level != nullptr && *level != '\0') {
        root += "/cpu-";
        for (const char* c = level; *c != '\0'; ++c)
            root += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
    }
    const std::string dir = root + "/" + relative;
    std::error_code ignored;  // a failure shows when the first file cannot be written
    std::filesystem::create_directories(dir, ignored);
    return dir;
}

}  // namespace vistrel::testsupport
