#include "app/views/StatsText.h"

#include <cstdio>

namespace vistrel::app {

std::string CodingName(live::StreamCoding coding) {
    switch (coding) {
        case live::StreamCoding::H263: return "H.263";
        case live::StreamCoding::Jpeg: return "JPEG (not decoded)";
        case live::StreamCoding::Xvid: return "MPEG-4 Xvid (not decoded)";
        case live::StreamCoding::Vweb: return "MPEG-4 vweb (not decoded)";
        case live::StreamCoding::Kvr4: return "MPEG-4";
        case live::StreamCoding::Unknown: break;
    }
    return "-";
}

std::vector<std::string> StatsLines(const live::LiveSessionStats& earlier, const live::LiveSessionStats& now,
                                    std::uint32_t elapsedMs) {
    std::vector<std::string> lines;
    char text[96];
    lines.push_back("coding " + CodingName(now.coding));
    if (now.pictureWidth > 0 && now.pictureHeight > 0) {
        std::snprintf(text, sizeof text, "picture %dx%d", now.pictureWidth, now.pictureHeight);
        lines.emplace_back(text);
    } else {
        lines.emplace_back("picture -");
    }
    const bool comparable = elapsedMs > 0 && now.framesDecoded >= earlier.framesDecoded &&
                            now.bytesQueued >= earlier.bytesQueued;
    if (comparable) {
        const double seconds = elapsedMs / 1000.0;
        std::snprintf(text, sizeof text, "%.1f fps",
                      static_cast<double>(now.framesDecoded - earlier.framesDecoded) / seconds);
        lines.emplace_back(text);
        std::snprintf(text, sizeof text, "%.0f kbit/s",
                      static_cast<double>(now.bytesQueued - earlier.bytesQueued) * 8.0 / 1000.0 / seconds);
        lines.emplace_back(text);
    } else {
        lines.emplace_back("- fps");
        lines.emplace_back("- kbit/s");
    }
    lines.push_back("damaged " + std::to_string(now.framesDamaged));
    lines.push_back("reconnects " + std::to_string(now.restartsFired));
    return lines;
}

}  // namespace vistrel::app
