#include "tests/support/StartCodes.h"

namespace vistrel::testsupport {

std::vector<std::size_t> StartCodeOffsets(const std::uint8_t* data, std::size_t size) {
    std::vector<std::size_t> at;
    for (std::size_t i = 0; i + 3 < size; ++i)
        if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1) at.push_back(i);
    return at;
}

}  // namespace vistrel::testsupport
