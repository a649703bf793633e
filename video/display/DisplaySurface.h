#pragma once
// The display surface: puts converted pictures into a window's screen framebuffer and tells
// decoders which conversion the screen needs. A picture (or the part the window's zoom crop keeps,
// see SourceCrop.h) is stretched to the work-area width; in full-screen mode a portrait work area
// gets it turned a quarter turn to fill it, a landscape one gets it upright, as large as its shape
// allows, centred between black bars.

#include <cstdint>

#include "platform/WindowHandle.h"
#include "video/picture/ScreenPicture.h"

namespace vistrel {

// Display modes: which conversion routine (and screen picture depth) the screen needs.
inline constexpr int kDisplayMode8 = 0;    // ConvertTo8, 8 bits with the installed palette
inline constexpr int kDisplayMode555 = 1;  // ConvertTo555
inline constexpr int kDisplayMode565 = 2;  // ConvertTo565
inline constexpr int kDisplayMode24 = 3;   // ConvertTo24
inline constexpr int kDisplayMode32 = 4;   // ConvertTo32

// Bits per pixel of the screen picture a display mode converts into (8, 16, 16, 24, 32).
int DisplayModeBitsPerPixel(int mode);

// Process-wide state of the shell's bars, shared by every surface.
inline constexpr int kShellShown = 1;   // initial
inline constexpr int kShellHidden = 2;  // a full-screen presentation hid them
int ShellState();

struct DisplaySurface;

// A surface for `window` and a picture of width x height, or null when the window is null or the
// screen depth is not 8, 16, 24 or 32 bits. When the window cannot describe a framebuffer the
// surface still works (display mode from the depth alone) and presentation tries the framebuffer
// every frame.
DisplaySurface* CreateDisplaySurface(WindowHandle window, int width, int height);
void DestroyDisplaySurface(DisplaySurface* surface);

// Presents `picture` (borrowed; remembered as the last presented picture until the next call or
// the surface's end). The caller passes 0, 0 and the picture's own width and height. Then calls
// the draw callback, outside the surface's lock, unless the window is entirely off the screen.
void PresentPicture(DisplaySurface* surface, const ScreenPicture* picture, int x, int y, int width, int height);

// Both do nothing on a null surface; safe from any thread.
void SetDrawCallback(DisplaySurface* surface, DrawCallback callback, std::uintptr_t word);
void SetSurfaceFullScreen(DisplaySurface* surface, int flag);

// For a decoder re-creating its surface after a size change: the callback to carry across.
// Null callback and 0 on a null surface.
void GetDrawCallback(const DisplaySurface* surface, DrawCallback* callback, std::uintptr_t* word);
int GetSurfaceFullScreen(const DisplaySurface* surface);

// kDisplayMode8 .. kDisplayMode32; 0 on a null surface.
int GetDisplayMode(const DisplaySurface* surface);
// Bits per pixel (times planes) the screen reported when the surface was made.
int GetScreenBitsPerPixel(const DisplaySurface* surface);
WindowHandle GetSurfaceWindow(const DisplaySurface* surface);
// The last picture presented (borrowed), or null.
const ScreenPicture* GetLastPicture(const DisplaySurface* surface);

}  // namespace vistrel
