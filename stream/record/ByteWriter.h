#pragma once
// Where a recording's bytes go: a file, or in tests a writer that fails on cue.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace vistrel::record {

class ByteWriter {
public:
    virtual ~ByteWriter() = default;
    // Writes all bytes or fails with a one-line reason (bytes before the failure may be kept).
    virtual bool Write(const std::uint8_t* data, std::size_t length, std::string* error) = 0;
    // Makes what was written durable and closes. False with a reason.
    virtual bool Close(std::string* error) = 0;
};

// Creates (or truncates) `path` for writing; null with the reason when it cannot.
std::unique_ptr<ByteWriter> OpenFileWriter(const std::string& path, std::string* error);

}  // namespace vistrel::record
