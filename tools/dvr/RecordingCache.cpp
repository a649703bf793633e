// A bounded map of encoded recorded pictures.

#include "tools/dvr/RecordingCache.h"

namespace vistrel::dvr {

std::optional<RecordedPicture> RecordingCache::find(int channel, std::int64_t hour, std::int64_t step) const {
    std::lock_guard guard(lock_);
    const auto it = pictures_.find(Key{channel, hour, step});
    if (it == pictures_.end()) return std::nullopt;
    return it->second;
}

void RecordingCache::store(int channel, std::int64_t hour, std::int64_t step, const RecordedPicture& picture) {
    std::lock_guard guard(lock_);
    if (bytes_ + picture.bits.size() > kRecordingCacheBytes) {
        pictures_.clear();
        bytes_ = 0;
    }
    const auto [it, inserted] = pictures_.emplace(Key{channel, hour, step}, picture);
    if (inserted) bytes_ += it->second.bits.size();
}

}  // namespace vistrel::dvr
