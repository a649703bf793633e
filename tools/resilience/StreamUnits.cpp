#include "tools/resilience/StreamUnits.h"

#include <fstream>
#include <iterator>

namespace vistrel::resilience {

namespace {

constexpr std::uint8_t kVopStartCode = 0xB6;

bool isH263PictureStart(const std::uint8_t* p) { return p[0] == 0 && p[1] == 0 && (p[2] & 0xFC) == 0x80; }
bool isMpeg4StartCode(const std::uint8_t* p) { return p[0] == 0 && p[1] == 0 && p[2] == 1; }

}  // namespace

std::vector<StreamUnit> CutUnits(Codec codec, const std::vector<std::uint8_t>& stream) {
    std::vector<std::size_t> starts;
    for (std::size_t i = 0; i + 3 < stream.size(); ++i) {
        const std::uint8_t* p = stream.data() + i;
        if (codec == Codec::H263 ? isH263PictureStart(p) : isMpeg4StartCode(p)) starts.push_back(i);
    }
    std::vector<StreamUnit> units;
    for (std::size_t k = 0; k < starts.size(); ++k) {
        StreamUnit u;
        u.offset = starts[k];
        u.length = (k + 1 < starts.size() ? starts[k + 1] : stream.size()) - u.offset;
        u.picture = codec == Codec::H263 || stream[u.offset + 3] == kVopStartCode;
        units.push_back(u);
    }
    return units;
}

bool WriteUnits(const std::string& path, const std::vector<StreamUnit>& units) {
    std::ofstream f(path);
    for (const StreamUnit& u : units) f << u.offset << ' ' << u.length << ' ' << (u.picture ? 1 : 0) << '\n';
    return bool(f);
}

bool ReadUnits(const std::string& path, std::size_t streamSize, std::vector<StreamUnit>* units) {
    std::ifstream f(path);
    if (!f) return false;
    units->clear();
    StreamUnit u;
    int picture = 0;
    while (f >> u.offset >> u.length >> picture) {
        if (u.offset > streamSize || u.length > streamSize - u.offset) return false;
        u.picture = picture != 0;
        units->push_back(u);
    }
    return f.eof();
}

std::vector<std::uint8_t> ReadWholeFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

bool WriteWholeFile(const std::string& path, const std::vector<std::uint8_t>& data) {
    std::ofstream f(path, std::ios::binary);
    f.write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
    return bool(f);
}

}  // namespace vistrel::resilience
