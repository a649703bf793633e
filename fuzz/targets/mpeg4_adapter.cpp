// The MPEG-4 adapter on live bytes: priming at creation, information blocks stripped wherever they
// fall, frame headers with size hints, frames with a length field; fed in chunks the input sizes,
// with a flush at the end. Every picture it copies out is copied again.

#include <algorithm>

#include "fuzz/CodecLibrary.h"
#include "fuzz/FuzzSupport.h"
#include "fuzz/FuzzTarget.h"
#include "fuzz/PictureCopy.h"
#include "video/mpeg4/Mpeg4Adapter.h"

using namespace vistrel::fuzz;

VISTREL_FUZZ_TARGET(mpeg4_adapter) {
    AssertWatch watch;
    ByteSource source(data, size);
    const std::uint8_t mode = source.byte();
    Chunker chunker(source, 32);
    PrepareCodecLibrary();
    auto adapter = vistrel::mpeg4::Mpeg4Adapter::Create();
    if (!adapter || !adapter->Attach(nullptr)) return 0;
    PictureBudget budget;
    adapter->SetPictureObserver([&budget](const vistrel::YuvPicture& picture) {
        budget.spend(picture.width(), picture.height());
        CopyYuvPicture(picture);
    });
    // Rendering converts every picture to 24 bits; half the inputs skip it to reach deeper faster.
    adapter->SetSuppressDisplay((mode & 1) != 0);
    const int count = (mode & 2) ? 1 : -1;
    const std::uint8_t* p = source.data();
    std::size_t left = source.size();
    while (left > 0 && !budget.exhausted()) {
        const std::size_t n = std::min(left, chunker.next());
        HeapCopy chunk(p, n);
        adapter->Feed(chunk.data(), n, count);
        if (adapter->heldBytes() > vistrel::mpeg4::Mpeg4Adapter::kAccumulationSize)
            Finding("adapter holds more than its buffer");
        p += n;
        left -= n;
    }
    while (count == 1 && !budget.exhausted() && adapter->Feed(nullptr, 0, 1) > 0) {
    }
    adapter->Flush();
    return 0;
}
