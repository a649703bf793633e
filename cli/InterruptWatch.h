#pragma once
// Ctrl-C and SIGTERM end a running live or playback command cleanly, with its final line.

namespace vistrel::cli {

// While one exists, SIGINT and SIGTERM only raise a flag the command's loop polls; the default
// handlers come back when it goes. One at a time.
class InterruptWatch {
public:
    InterruptWatch();
    ~InterruptWatch();
    InterruptWatch(const InterruptWatch&) = delete;
    InterruptWatch& operator=(const InterruptWatch&) = delete;

    bool interrupted() const;
};

}  // namespace vistrel::cli
