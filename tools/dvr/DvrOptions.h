#pragma once
// Everything that configures the DVR emulator: listening, credentials, channels, recordings, pacing
// and the faults it can be told to inject.

#include <array>
#include <cstdint>
#include <string>

#include "base/DvrProtocol.h"

namespace vistrel::dvr {

using base::kChannelCount;

enum class AuthMode { None, Basic, Digest };

// What a channel streams live and records.
enum class ChannelCoding {
    H263,        // live "video/x-qdaxwmh263", recorded as type-1 records
    Mpeg4,       // live "video/x-qdaxwmkvr4", recorded as type-13 records
    Mpeg4Audio,  // live "video/x-qdaxwmkvr4", recorded as type-14 records (video and IMA ADPCM packets)
};

// Faults are off by default; each one is independent of the others.
struct FaultOptions {
    // Close each connection once this many body bytes have been sent (-1: never).
    std::int64_t closeAfterBytes = -1;
    // Stop sending and keep the connection open: -1 off; 0 before even the status line;
    // N > 0 after the response headers and N body bytes.
    std::int64_t stallAfterBytes = -1;
    // Printable junk bytes written between consecutive live frames (0: none).
    std::uint32_t junkBytes = 0;
    // The first K live connections answer 200 with the channel's content type and a body that is an
    // HTML error page (its first block holds "Content-Type: text/html"), then close.
    int htmlErrorConnections = 0;
    // Non-empty: every live response carries this Content-Type instead of the channel's.
    std::string contentType;
    // Every Nth good playback record is preceded by a damaged copy of its header and payload:
    // alternately a bad header CRC and an unknown header version (0: none).
    int corruptRecordEvery = 0;
    // After this many good playback records, send half of the next record and close (-1: never).
    std::int64_t truncateAfterRecords = -1;
};

struct DvrOptions {
    std::uint16_t port = 0;                 // 0: any free port, see DvrServer::start()
    std::string bindAddress = "127.0.0.1";  // loopback unless told otherwise
    std::string user;                       // checked when auth != None
    std::string password;
    AuthMode auth = AuthMode::None;
    // Status given to a missing or wrong credential: 401 (with the challenge), 404 or 407.
    int authFailureStatus = 401;
    // Camera commands carry no credentials in the client, so they are not checked unless asked.
    bool authCameraCommands = false;
    std::string logFile;     // one JSON line per request; empty: no log
    int maxConnections = 8;  // more at once are answered 503 and closed

    // Live pacing: -1 uses each channel's own frame interval; 0 sends frames as fast as the client
    // reads; N > 0 sends one frame every N ms on every channel. Tests use 0 or a few ms.
    int frameIntervalMs = -1;

    // Picture size of the H.263 channels (live and recorded): 320x240, 640x480 or 640x240.
    int h263Width = 320;
    int h263Height = 240;

    // Default plan: channels 1-8 (index 0-7) H.263, 9-12 MPEG-4 (type 13), 13-16 MPEG-4 with
    // audio (type 14). Indexed by channel index 0..15.
    std::array<ChannelCoding, kChannelCount> channels = defaultChannels();

    // Recordings: every hour of every day holds recordings of all channels from minute 0,
    // second 0 for this many seconds, one record per channel every recordIntervalMs.
    int recordedSecondsPerHour = 10;
    int recordIntervalMs = 200;

    // Live MPEG-4 frames carry only the video object plane, without the sequence and layer headers
    // in front of intra planes, as some cameras send them: only a decoder primed with a matching
    // layer header (320x240, time resolution 30) decodes them.
    bool mpeg4VopOnly = false;

    // Folder with the MPEG-4 clips made at build time; empty: the folder the build put them in.
    std::string clipDir;

    FaultOptions faults;

    static std::array<ChannelCoding, kChannelCount> defaultChannels() {
        std::array<ChannelCoding, kChannelCount> plan{};
        for (int i = 0; i < kChannelCount; ++i)
            plan[std::size_t(i)] = i < 8    ? ChannelCoding::H263
                                   : i < 12 ? ChannelCoding::Mpeg4
                                            : ChannelCoding::Mpeg4Audio;
        return plan;
    }
};

}  // namespace vistrel::dvr
