#pragma once
// Whole files in and out, and scratch folders under the build tree.

#include <cstdint>
#include <string>
#include <vector>

namespace vistrel::testsupport {

// The file's bytes; empty when it cannot be read.
std::vector<std::uint8_t> ReadFile(const std::string& path);
std::string ReadText(const std::string& path);
// Replaces the file. Returns false when it cannot be written completely.
bool WriteFile(const std::string& path, const std::uint8_t* data, std::size_t size);
bool WriteFile(const std::string& path, const std::vector<std::uint8_t>& data);
bool WriteText(const std::string& path, const std::string& text);
bool FileExists(const std::string& path);  // and readable

// A private folder under the system's temporary folder, removed with everything in it when the
// object goes; path() is empty when it could not be made.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// The folder below the build tree (created with its parents), for files tests make and keep
// between runs. Under VISTREL_CPU it lies below build/cpu-LEVEL, apart from the first run's.
std::string ScratchDir(const std::string& relative);

}  // namespace vistrel::testsupport
