// Raw HTTP client and independent record/frame parsers for the emulator tests.

#include "TestClient.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>

#include "base/ByteOrder.h"
#include "base/DvrProtocol.h"

namespace emutest {

namespace {

int connectTo(std::uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return -1;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

using vistrel::base::Le16;
using vistrel::base::Le32;

bool hasMarkers(const std::uint8_t* p, std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d,
                std::uint8_t e) {
    return p[0] == a && p[2] == b && p[4] == c && p[6] == d && p[12] == e;
}

}  // namespace

RawResponse rawGet(std::uint16_t port, const std::string& target, std::size_t maxBody, int timeoutMs,
                   const std::string& extraHeaders) {
    RawResponse r;
    const int fd = connectTo(port);
    if (fd < 0) return r;
    r.connected = true;
    const std::string request = "GET " + target + " HTTP/1.0\r\nUser-Agent:" + vistrel::base::kStreamUserAgent +
                                "\r\n" + extraHeaders + "\r\n";
    ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    std::string raw;
    bool headDone = false;
    std::uint8_t buffer[16384];
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 20) <= 0) continue;
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) {
            r.closedByServer = true;
            break;
        }
        if (!headDone) {
            raw.append(reinterpret_cast<char*>(buffer), std::size_t(n));
            const auto end = raw.find("\r\n\r\n");
            if (end == std::string::npos) continue;
            headDone = true;
            r.head = raw.substr(0, end + 2);
            r.body.assign(raw.begin() + std::ptrdiff_t(end + 4), raw.end());
        } else {
            r.body.insert(r.body.end(), buffer, buffer + n);
        }
        if (r.body.size() >= maxBody) break;
    }
    ::close(fd);
    if (!headDone) r.head = raw;
    if (r.head.rfind("HTTP/1.", 0) == 0 && r.head.size() > 12) r.status = std::atoi(r.head.c_str() + 9);
    const auto ct = r.head.find("Content-Type: ");
    if (ct != std::string::npos) r.contentType = r.head.substr(ct + 14, r.head.find("\r\n", ct) - ct - 14);
    return r;
}

std::string rawExchange(std::uint16_t port, const std::string& request, int timeoutMs) {
    const int fd = connectTo(port);
    if (fd < 0) return {};
    ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    std::string answer;
    char buffer[4096];
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 20) <= 0) continue;
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        answer.append(buffer, std::size_t(n));
    }
    ::close(fd);
    return answer;
}

std::uint16_t bitwiseCrc16(const std::uint8_t* data, std::size_t length) {
    std::uint16_t crc = 0xFFFF;
    for (std::size_t i = 0; i < length; ++i) {
        crc ^= std::uint16_t(data[i] << 8);
        for (int b = 0; b < 8; ++b)
            crc = (crc & 0x8000) ? std::uint16_t((crc << 1) ^ 0x1021) : std::uint16_t(crc << 1);
    }
    return crc;
}

RecordScan scanRecords(const std::vector<std::uint8_t>& d) {
    RecordScan scan;
    std::size_t i = 0;
    while (i + 4 <= d.size()) {
        if (!(d[i] == 0xFF && d[i + 1] == 0xFF && d[i + 2] == 0xFE && d[i + 3] == 0xDD)) {
            ++i;
            ++scan.skippedBytes;
            continue;
        }
        if (i + 38 > d.size()) {
            scan.truncated = true;
            break;
        }
        const int version = d[i + 5];
        if (version != 1 && version != 2) {
            ++scan.badVersion;
            i += 38;
            continue;
        }
        const std::size_t headerSize = version == 1 ? 38 : 54;
        if (i + headerSize > d.size()) {
            scan.truncated = true;
            break;
        }
        std::vector<std::uint8_t> header(d.begin() + std::ptrdiff_t(i),
                                         d.begin() + std::ptrdiff_t(i + headerSize));
        const std::uint16_t stored = std::uint16_t(header[6] << 8 | header[7]);
        header[6] = header[7] = 0;
        if (bitwiseCrc16(header.data(), header.size()) != stored) {
            ++scan.badCrc;
            i += headerSize;
            continue;
        }
        ParsedRecord r;
        r.version = version;
        r.crcOk = true;
        r.channel = Le16(&d[i + 8]);
        r.payloadLength = Le32(&d[i + 12]);
        r.timestamp = Le32(&d[i + 16]);
        r.flags = Le32(&d[i + 20]);
        r.type = Le16(&d[i + 24]);
        r.sizeCode = Le16(&d[i + 26]);
        if (version == 2 && Le16(&d[i + 38]) == 0) r.endCode = Le16(&d[i + 40]);
        if (i + headerSize + r.payloadLength > d.size()) {
            scan.truncated = true;
            break;
        }
        r.payload.assign(d.begin() + std::ptrdiff_t(i + headerSize),
                         d.begin() + std::ptrdiff_t(i + headerSize + r.payloadLength));
        i += headerSize + r.payloadLength;
        scan.good.push_back(std::move(r));
    }
    if (i < d.size() && !scan.truncated) scan.skippedBytes += d.size() - i;
    return scan;
}

std::vector<LiveFrame> findH263Frames(const std::vector<std::uint8_t>& b, std::size_t* junk) {
    std::vector<LiveFrame> frames;
    std::size_t i = 0, skipped = 0;
    while (i + 16 <= b.size()) {
        if (!hasMarkers(&b[i], 0xF6, 0xFF, 0xF9, 0xDD, 0xC5)) {
            ++i;
            ++skipped;
            continue;
        }
        const std::uint32_t length =
            (std::uint32_t(b[i + 1]) << 24 | std::uint32_t(b[i + 3]) << 16 | Le16(&b[i + 14])) + 14;
        if (i + length > b.size()) break;
        frames.push_back({i, length, i + 16, 0});
        i += length;
    }
    if (junk) *junk = skipped;
    return frames;
}

std::vector<LiveFrame> findMpeg4Frames(const std::vector<std::uint8_t>& b, int* infoBlocks, std::size_t* junk) {
    std::vector<LiveFrame> frames;
    std::size_t i = 0, skipped = 0;
    int info = 0;
    while (i + 18 <= b.size()) {
        if (hasMarkers(&b[i], 0xFA, 0x74, 0xF9, 0xED, 0xC1)) {
            const std::uint32_t length =
                (std::uint32_t(b[i + 1]) << 24 | std::uint32_t(b[i + 3]) << 16 | Le16(&b[i + 14])) + 14;
            ++info;
            i += length;
            continue;
        }
        if (!hasMarkers(&b[i], 0xF6, 0xFF, 0xF9, 0xDD, 0xC5)) {
            ++i;
            ++skipped;
            continue;
        }
        const std::uint32_t payload = Le32(&b[i + 14]);
        if (i + 18 + payload > b.size()) break;
        frames.push_back({i, 18 + payload, i + 18, std::uint8_t(b[i + 13] & 3)});
        i += 18 + payload;
    }
    if (infoBlocks) *infoBlocks = info;
    if (junk) *junk = skipped;
    return frames;
}

vistrel::dvr::DvrOptions fastOptions() {
    vistrel::dvr::DvrOptions o;
    o.frameIntervalMs = 0;
    o.recordedSecondsPerHour = 1;
    return o;
}

}  // namespace emutest
