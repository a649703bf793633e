#pragma once
// One client connection of the emulator: reading the request head, and writing the answer
// through the byte-level faults (close after N bytes, stall) while watching for the server's stop.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

#include "tools/dvr/DvrOptions.h"

namespace vistrel::dvr {

// A client that sends nothing for this long loses its connection.
constexpr int kRequestReadTimeoutMs = 10000;
// Waits are cut into slices this long so that a stop is noticed quickly.
constexpr int kWaitSliceMs = 50;
// After the answer, how long to wait for the client to close before closing ourselves.
constexpr int kLingerMs = 2000;

class Connection {
public:
    // The connection does not own `fd`; the server closes it after the handler returns.
    Connection(int fd, const std::atomic<bool>& stopping, const FaultOptions& faults);

    enum class ReadResult { Complete, Closed, TooLong, TimedOut };
    ReadResult readRequestHead(std::string& head);

    // Status line and headers: never cut by the byte faults (a stall at 0 happens before them).
    bool sendHead(const std::string& head);
    // Body bytes: counted against closeAfterBytes and stallAfterBytes. False once the connection
    // is to end (client gone, fault reached, server stopping).
    bool sendBody(const void* data, std::size_t length);
    bool sendBody(const std::string& text) { return sendBody(text.data(), text.size()); }

    // Sleeps up to `ms`, in slices; false when the server is stopping or the client went away.
    bool pause(int ms);
    // Keeps the connection open and silent until the client goes or the server stops.
    void stall();
    // Half-closes and waits briefly for the client to close its side.
    void finish();

    std::int64_t bodyBytesSent() const { return bodySent_; }
    bool stallsBeforeHead() const { return faults_.stallAfterBytes == 0; }

private:
    bool sendRaw(const std::uint8_t* p, std::size_t length);
    bool peerClosed();

    int fd_;
    const std::atomic<bool>& stopping_;
    const FaultOptions& faults_;
    std::int64_t bodySent_ = 0;
};

}  // namespace vistrel::dvr
