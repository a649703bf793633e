#pragma once
// Encoded H.263 recordings kept across playback requests: encoding is the slow part of answering
// one, and every request for the same hour asks for the same pictures.

#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <tuple>
#include <vector>

namespace vistrel::dvr {

// Beyond this many bytes of pictures the cache starts again empty.
constexpr std::size_t kRecordingCacheBytes = 48u * 1024 * 1024;

struct RecordedPicture {
    std::vector<std::uint8_t> bits;  // one H.263 picture
    bool intra = false;
};

class RecordingCache {
public:
    // Key: channel index, hour (hours since 1970), step within the hour.
    std::optional<RecordedPicture> find(int channel, std::int64_t hour, std::int64_t step) const;
    void store(int channel, std::int64_t hour, std::int64_t step, const RecordedPicture& picture);

private:
    using Key = std::tuple<int, std::int64_t, std::int64_t>;
    mutable std::mutex lock_;
    std::map<Key, RecordedPicture> pictures_;  // guarded by lock_
    std::size_t bytes_ = 0;                    // guarded by lock_
};

}  // namespace vistrel::dvr
