#include "cli/Y4mWriter.h"

#include "stream/export/StreamTiming.h"

namespace vistrel::cli {

Y4mRate Y4mRateForStream(const std::uint8_t* data, std::size_t size, bool h263) {
    Y4mRate rate;
    if (const auto r = exporter::EstimateFrameRate(data, size, h263);
        r && r->numerator > 0 && r->denominator > 0) {
        rate.numerator = r->numerator;
        rate.denominator = r->denominator;
    }
    return rate;
}

std::string Y4mStreamHeader(int width, int height, Y4mRate rate) {
    return "YUV4MPEG2 W" + std::to_string(width) + " H" + std::to_string(height) + " F" +
           std::to_string(rate.numerator) + ":" + std::to_string(rate.denominator) + " Ip A1:1 C420jpeg\n";
}

}  // namespace vistrel::cli
