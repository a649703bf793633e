#pragma once
// The handle by which decoders and display surfaces name the window they draw into (null = off-screen).

namespace vistrel::platform {
class Window;
}

namespace vistrel {
using WindowHandle = platform::Window*;
}
