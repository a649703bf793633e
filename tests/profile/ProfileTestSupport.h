#pragma once
// A fresh profile table for each test.

#include <memory>

#include "app/profile/Profile.h"

namespace vistrel::app::test {

// 128 KB: on the heap, and zeroed as a fresh program's table is.
inline std::unique_ptr<ProfileTable> NewTable() { return std::make_unique<ProfileTable>(); }

}  // namespace vistrel::app::test
