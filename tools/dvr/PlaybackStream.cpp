// The playback page: the records of a time range, as fast as the client takes them.

#include "tools/dvr/Connection.h"
#include "tools/dvr/HttpRequest.h"
#include "tools/dvr/RecordGenerator.h"
#include "tools/dvr/RecordWriter.h"
#include "tools/dvr/ServerContext.h"

namespace vistrel::dvr {

namespace {

// Records are gathered up to about this many bytes per write.
constexpr std::size_t kSendChunk = 64 * 1024;
constexpr std::uint8_t kUnknownVersion = 3;

// A copy of `record` whose header the client must reject.
std::vector<std::uint8_t> damagedCopy(const std::vector<std::uint8_t>& record, bool badCrc) {
    std::vector<std::uint8_t> copy = record;
    if (badCrc) {
        copy[6] ^= 0x5A;
    } else {
        copy[5] = kUnknownVersion;
        const std::uint16_t crc = [&] {
            std::uint8_t header[kRecordHeaderSize];
            std::copy(copy.begin(), copy.begin() + std::ptrdiff_t(kRecordHeaderV1Size), header);
            header[6] = header[7] = 0;
            return recordCrc16(header, kRecordHeaderV1Size);
        }();
        copy[6] = std::uint8_t(crc >> 8);
        copy[7] = std::uint8_t(crc);
    }
    return copy;
}

}  // namespace

void servePlayback(ServerContext& context, Connection& connection, const HttpRequest& request,
                   std::string& logFields) {
    const auto query = parseQuery(request.query);
    std::string error;
    const auto range = parsePlaybackQuery(query, &error);
    std::uint16_t mask = 0xFFFF;
    if (const auto source = queryValue(query, "video_source")) {
        const auto value = parseHex(*source, 0xFFFF);
        if (!value) error = "bad video_source";
        else mask = std::uint16_t(*value);
    }
    if (!range || !error.empty()) {
        logFields += ",\"status\":400,\"error\":" + jsonString(error);
        connection.sendHead("HTTP/1.0 400 Bad Request\r\nContent-Type: text/plain\r\nConnection: close\r\n\r\n");
        connection.sendBody(error + "\r\n");
        return;
    }
    context.count([](DvrStats& s) { ++s.playbackRequests; });
    logFields += ",\"status\":200,\"start_s\":" + std::to_string(range->startSeconds) +
                 ",\"end_s\":" + std::to_string(range->endSeconds);
    if (!connection.sendHead("HTTP/1.0 200 OK\r\nContent-Type: application/octet-stream\r\n"
                             "Cache-Control: no-cache\r\nConnection: close\r\n\r\n"))
        return;

    const FaultOptions& faults = context.options.faults;
    RecordGenerator generator(context.options, context.clips, *range, mask, &context.recordings);
    std::vector<std::vector<std::uint8_t>> records;
    std::vector<std::uint8_t> out;
    std::int64_t good = 0;
    bool nextBadCrc = true;
    while (generator.next(records)) {
        for (const auto& record : records) {
            if (faults.truncateAfterRecords >= 0 && good >= faults.truncateAfterRecords) {
                out.insert(out.end(), record.begin(), record.begin() + std::ptrdiff_t(record.size() / 2));
                connection.sendBody(out.data(), out.size());
                return;
            }
            if (faults.corruptRecordEvery > 0 && (good + 1) % faults.corruptRecordEvery == 0) {
                const auto bad = damagedCopy(record, nextBadCrc);
                nextBadCrc = !nextBadCrc;
                out.insert(out.end(), bad.begin(), bad.end());
            }
            out.insert(out.end(), record.begin(), record.end());
            ++good;
        }
        if (out.size() >= kSendChunk) {
            if (!connection.sendBody(out.data(), out.size())) return;
            out.clear();
        }
        if (context.stopping.load()) return;
    }
    if (!out.empty() && !connection.sendBody(out.data(), out.size())) return;
    connection.finish();
}

}  // namespace vistrel::dvr
