#include "tools/resilience/Damage.h"

#include <algorithm>
#include <random>

namespace vistrel::resilience {

namespace {

constexpr int kH263Prefix = 7;
constexpr int kMpeg4Prefix = 10;
constexpr int kDrawsPerFlip = 16;  // attempts before a flip is given up

// True when any start-code prefix begins in unit[from, to) (clamped to the unit).
bool hasStartCodeNear(Codec codec, const std::uint8_t* unit, std::size_t length, std::size_t from,
                      std::size_t to) {
    to = std::min(to, length >= 3 ? length - 2 : 0);
    for (std::size_t i = from; i < to; ++i) {
        const std::uint8_t* p = unit + i;
        if (p[0] != 0 || p[1] != 0) continue;
        if (codec == Codec::H263 ? (p[2] & 0xFC) == 0x80 : p[2] == 1) return true;
    }
    return false;
}

}  // namespace

int ProtectedPrefix(Codec codec) { return codec == Codec::H263 ? kH263Prefix : kMpeg4Prefix; }

DamagedStream DamageStream(Codec codec, const std::vector<std::uint8_t>& stream, const DamageOptions& options) {
    // Our own generator steps, not a standard distribution, so a seed gives the same damage with every
    // standard library.
    std::mt19937 rng(options.seed);
    const std::vector<StreamUnit> units = CutUnits(codec, stream);
    const std::size_t prefix = std::size_t(ProtectedPrefix(codec));
    DamagedStream out;
    if (!units.empty()) out.bytes.assign(stream.begin(), stream.begin() + std::ptrdiff_t(units.front().offset));
    for (const StreamUnit& u : units) {
        std::vector<std::uint8_t> unit(stream.begin() + std::ptrdiff_t(u.offset),
                                       stream.begin() + std::ptrdiff_t(u.offset + u.length));
        if (u.picture && unit.size() > prefix + 1) {
            const std::size_t body = unit.size() - prefix;
            bool damaged = false;
            if (options.truncate) {
                if (rng() % 3 == 0) {
                    const std::size_t keep = body / 4 + std::size_t(rng() % std::uint32_t(body / 2 + 1));
                    unit.resize(prefix + keep);
                    damaged = true;
                }
            } else {
                for (int f = 0; f < options.flipsPerPicture; ++f) {
                    for (int attempt = 0; attempt < kDrawsPerFlip; ++attempt) {
                        const std::size_t at = prefix + std::size_t(rng() % std::uint32_t(body));
                        const std::uint8_t mask = std::uint8_t(1u << (rng() % 8));
                        unit[at] ^= mask;
                        if (!hasStartCodeNear(codec, unit.data(), unit.size(), at >= 2 ? at - 2 : 0, at + 1)) {
                            damaged = true;
                            break;
                        }
                        unit[at] ^= mask;
                    }
                }
            }
            if (damaged) ++out.picturesDamaged;
        }
        StreamUnit placed = u;
        placed.offset = out.bytes.size();
        placed.length = unit.size();
        out.units.push_back(placed);
        out.bytes.insert(out.bytes.end(), unit.begin(), unit.end());
    }
    return out;
}

}  // namespace vistrel::resilience
