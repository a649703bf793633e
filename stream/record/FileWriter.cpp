// Recording files through plain POSIX calls, so that every failure comes back with its errno.

#include <fcntl.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>

#include "stream/record/ByteWriter.h"

namespace vistrel::record {

namespace {

std::string Reason(const char* what, int err) {
    if (err == ENOSPC) return std::string(what) + ": the disk is full";
    return std::string(what) + ": " + std::strerror(err);
}

class FileWriter : public ByteWriter {
public:
    explicit FileWriter(int fd) : fd_(fd) {}
    ~FileWriter() override {
        if (fd_ >= 0) ::close(fd_);
    }
    bool Write(const std::uint8_t* data, std::size_t length, std::string* error) override {
        while (length > 0) {
            const ssize_t n = ::write(fd_, data, length);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                // write() returning 0 for a non-empty buffer is a full device by another name.
                *error = Reason("cannot write the recording", n < 0 ? errno : ENOSPC);
                return false;
            }
            data += n;
            length -= std::size_t(n);
        }
        return true;
    }
    bool Close(std::string* error) override {
        if (fd_ < 0) return true;
        bool ok = true;
        // A full disk on network or delayed-allocation file systems may only show here.
        if (::fsync(fd_) != 0 && errno != EINVAL && errno != EROFS) {
            *error = Reason("cannot finish the recording", errno);
            ok = false;
        }
        if (::close(fd_) != 0 && ok) {
            *error = Reason("cannot finish the recording", errno);
            ok = false;
        }
        fd_ = -1;
        return ok;
    }

private:
    int fd_;
};

}  // namespace

std::unique_ptr<ByteWriter> OpenFileWriter(const std::string& path, std::string* error) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        *error = Reason(("cannot create '" + path + "'").c_str(), errno);
        return nullptr;
    }
    return std::make_unique<FileWriter>(fd);
}

}  // namespace vistrel::record
