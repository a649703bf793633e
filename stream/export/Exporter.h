#pragma once
// Turns a recording (any MediaSource) into a Matroska file: MPEG-4 copied as it came with its
// headers, H.263 decoded by our decoder and stored losslessly as FFV1, type-14 sound as 16-bit PCM.

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "stream/export/MediaSource.h"

namespace vistrel::exporter {

// Called on the exporting thread with the share done, 0..1.
using ExportProgress = std::function<void(double fraction)>;

struct ExportResult {
    bool ok = false;
    bool cancelled = false;  // the cancel flag was raised; no file is left behind
    std::string error;       // why it failed
    std::string note;        // why it ended before the source did (a change of coding or size)
    std::string videoCodec;  // "mpeg4" or "ffv1"
    int width = 0, height = 0;
    std::uint64_t videoFrames = 0;
    std::uint64_t audioSamples = 0;  // per channel
    std::int64_t durationMs = 0;     // of the video track, last frame included
};

// Reads `source` to its end (or the cancel flag) and writes `path`. Runs on the caller's thread.
ExportResult RunExport(MediaSource& source, const std::string& path, const ExportProgress& progress,
                       const std::atomic<bool>& cancel);

}  // namespace vistrel::exporter
