#pragma once
// The handle by which decoders and display surfaces name the window they draw into (null = off-screen).

#include <cstdint>

namespace vistrel::platform {
class Window;
}

namespace vistrel {
using WindowHandle = platform::Window*;

// Called by a display surface after every presentation, outside its lock.
using DrawCallback = void (*)(WindowHandle window, std::uintptr_t word);
}  // namespace vistrel
