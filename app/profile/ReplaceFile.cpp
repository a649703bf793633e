// Rewriting a small file through a temporary file and a rename.
#include "app/profile/ReplaceFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace vistrel::app {

namespace {

// The configuration folder may not exist on a fresh account; it holds private data, hence 0700.
bool CreateFolders(const std::string& folder) {
    for (std::size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
        const std::string prefix = folder.substr(0, slash);
        if (!prefix.empty() && mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST) return false;
        if (slash == std::string::npos) return true;
    }
}

bool WriteAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

// Makes the rename itself durable; a folder that cannot be synced only loses that guarantee.
void SyncFolder(const std::string& folder) {
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    fsync(fd);
    close(fd);
}

// A file kept elsewhere and linked into place (a dotfiles folder) stays a link: the rename goes
// to where it points.
std::string LinkTarget(const std::string& path) {
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
    char target[PATH_MAX];
    if (realpath(path.c_str(), target) == nullptr) return path;
    return target;
}

}  // namespace

bool ReplaceFile(const std::string& linkOrPath, const char* data, std::size_t size, mode_t mode) {
    if (linkOrPath.empty() || linkOrPath.back() == '/') return false;
    const std::string path = LinkTarget(linkOrPath);
    const std::size_t slash = path.rfind('/');
    std::string folder = ".";
    if (slash != std::string::npos) folder = slash == 0 ? std::string("/") : path.substr(0, slash);
    if (slash != std::string::npos && !CreateFolders(folder)) return false;

    std::string name = path + ".XXXXXX";
    std::vector<char> temporary(name.begin(), name.end());
    temporary.push_back('\0');
    const int fd = mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) return false;

    bool ok = fchmod(fd, mode) == 0 && WriteAll(fd, data, size) && fsync(fd) == 0;
    ok = close(fd) == 0 && ok;
    if (ok) ok = rename(temporary.data(), path.c_str()) == 0;
    if (!ok) {
        unlink(temporary.data());
        return false;
    }
    SyncFolder(folder);
    return true;
}

}  // namespace vistrel::app
