#pragma once
// Test-side clients of the emulator: a raw-socket GET that reads a bounded part of the answer,
// a record parser that checks every header's CRC on its own terms, and the emulator's fastest settings.

#include <cstdint>
#include <string>
#include <vector>

#include "tools/dvr/DvrOptions.h"

namespace emutest {

// The emulator as fast as it goes: frames back to back, one recorded second per hour.
vistrel::dvr::DvrOptions fastOptions();

struct RawResponse {
    bool connected = false;
    int status = 0;
    std::string head;  // status line and headers
    std::string contentType;
    std::vector<std::uint8_t> body;
    bool closedByServer = false;  // the server ended the body (EOF) before our limits
};

// Sends `GET target HTTP/1.0` (plus extra header lines, each ending in \r\n) and reads until the
// server closes, `maxBody` body bytes arrived, or `timeoutMs` passed.
RawResponse rawGet(std::uint16_t port, const std::string& target, std::size_t maxBody, int timeoutMs,
                   const std::string& extraHeaders = {});
// Sends arbitrary bytes and returns everything the server answers within the time limit.
std::string rawExchange(std::uint16_t port, const std::string& request, int timeoutMs);

struct ParsedRecord {
    int version = 0;
    bool crcOk = false;
    std::uint16_t channel = 0;
    std::uint32_t payloadLength = 0;
    std::uint32_t timestamp = 0;
    std::uint32_t flags = 0;
    std::uint16_t type = 0;
    std::uint16_t sizeCode = 0;
    std::uint16_t endCode = 0;
    std::vector<std::uint8_t> payload;
};

struct RecordScan {
    std::vector<ParsedRecord> good;
    int badCrc = 0;
    int badVersion = 0;
    bool truncated = false;  // the data ended inside a record
    std::size_t skippedBytes = 0;
};

// Independent reading of the record format: magic search, header version 1 or 2, CRC-16/CCITT
// (bitwise, no table), payload.
RecordScan scanRecords(const std::vector<std::uint8_t>& data);
std::uint16_t bitwiseCrc16(const std::uint8_t* data, std::size_t length);

// Live frames found in a body by the frame markers.
struct LiveFrame {
    std::size_t offset = 0;
    std::size_t length = 0;  // whole frame including its header
    std::size_t payloadOffset = 0;
    std::uint8_t sizeHint = 0;  // MPEG-4: byte 13 low bits
};
std::vector<LiveFrame> findH263Frames(const std::vector<std::uint8_t>& body, std::size_t* junk = nullptr);
std::vector<LiveFrame> findMpeg4Frames(const std::vector<std::uint8_t>& body, int* infoBlocks = nullptr,
                                       std::size_t* junk = nullptr);

}  // namespace emutest
