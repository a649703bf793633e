// Reading one key's value out of the profile text, and filling a fixed-size field.
#include <cstring>

#include "app/profile/Profile.h"

namespace vistrel::app {

bool FindProfileValue(const char* text, const char* key, char* out, std::size_t outSize) {
    if (text == nullptr || key == nullptr || *key == '\0' || out == nullptr || outSize == 0) {
        return false;
    }
    const char* found = std::strstr(text, key);
    if (found == nullptr) return false;
    const char* value = found + std::strlen(key);
    const char* end = std::strstr(value, "\r\n");
    if (end == nullptr) return false;

    std::size_t length = static_cast<std::size_t>(end - value);
    if (length > 0 && value[length - 1] == '#') --length;
    if (length > outSize - 1) length = outSize - 1;
    std::memcpy(out, value, length);
    out[length] = '\0';
    return true;
}

void SetProfileField(char (&field)[128], std::string_view value) {
    std::size_t length = value.size() < sizeof(field) - 1 ? value.size() : sizeof(field) - 1;
    std::memcpy(field, value.data(), length);
    std::memset(field + length, 0, sizeof(field) - length);
}

}  // namespace vistrel::app
