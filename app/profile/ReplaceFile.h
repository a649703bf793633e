// Rewriting a small file so that readers, and a crash, only ever see the old or the new content.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>

namespace vistrel::app {

// Creates the missing folders of path (mode 0700), writes the bytes to a temporary file beside it,
// flushes it to disk and renames it over path (over the file it links to, when path is a symbolic
// link). False on any failure; path is then unchanged and the temporary file removed.
bool ReplaceFile(const std::string& path, const char* data, std::size_t size, mode_t mode);

}  // namespace vistrel::app
