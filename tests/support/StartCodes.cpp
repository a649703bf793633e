#include "tests/support/StartCodes.h"

#include "base/StartCode.h"

namespace vistrel::testsupport {

std::vector<std::size_t> StartCodeOffsets(const std::uint8_t* data, std::size_t size) {
    std::vector<std::size_t> at;
    if (data == nullptr) return at;
    for (std::size_t i = base::FindStartCode(data, size); i + 3 < size; i = base::FindStartCode(data, size, i + 1))
        at.push_back(i);
    return at;
}

}  // namespace vistrel::testsupport
