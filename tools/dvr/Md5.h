#pragma once
// MD5 message digest, for HTTP Digest authentication.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vistrel::dvr {

class Md5 {
public:
    Md5();
    void update(const void* data, std::size_t length);
    void update(std::string_view text) { update(text.data(), text.size()); }
    std::array<std::uint8_t, 16> finish();  // the object must not be updated afterwards

private:
    void block(const std::uint8_t* p);
    std::uint32_t state_[4];
    std::uint64_t length_ = 0;  // bytes hashed so far
    std::uint8_t buffer_[64];
    std::size_t buffered_ = 0;
};

// Lower-case hexadecimal MD5 of a text, the form Digest authentication works with.
std::string md5Hex(std::string_view text);

}  // namespace vistrel::dvr
