// The program's library decoders keep the library's messages to themselves unless asked.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "kvr_syst/Kvr_Log.h"
#include "video/mpeg4/DecoderLog.h"
#include "video/mpeg4/LibraryDecoder.h"

namespace vistrel::mpeg4 {
namespace {

// Two sequence headers naming a profile the library warns about: two lines on standard output when
// the library prints by itself.
const std::vector<std::uint8_t> kNoisyStream = {0, 0, 1, 0xB0, 0x11, 0, 0, 1, 0xB0, 0x11};

std::string decodeCapturingConsole(KVR_MP4_DEC& decoder) {
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    decoder.Decode(kNoisyStream.data(), static_cast<int>(kNoisyStream.size()));
    return testing::internal::GetCapturedStdout() + testing::internal::GetCapturedStderr();
}

TEST(DecoderLog, LibraryDecoderIsQuietUnlessTheEnvironmentAsks) {
    unsetenv("VISTREL_DECODER_LOG");
    LibraryDecoder decoder = NewLibraryDecoder();
    ASSERT_TRUE(decoder);
    EXPECT_EQ(decodeCapturingConsole(*decoder), "");

    setenv("VISTREL_DECODER_LOG", "1", 1);
    const std::string asked = decodeCapturingConsole(*decoder);
    unsetenv("VISTREL_DECODER_LOG");
    EXPECT_EQ(asked,
              "mpeg4 decoder info: Warning: Only Simple Profile is supported. Stream Profile is: 0x11\n"
              "mpeg4 decoder info: Warning: Only Simple Profile is supported. Stream Profile is: 0x11\n");

    // Pieces of a debug dump that are only line ends are dropped rather than printed as empty messages.
    setenv("VISTREL_DECODER_LOG", "1", 1);
    testing::internal::CaptureStderr();
    DecoderLog(nullptr, KVR_LOG_INFO, "\n");
    DecoderLog(nullptr, KVR_LOG_ERROR, "Malloc failure [8 bytes]\nPic_Base\n");
    unsetenv("VISTREL_DECODER_LOG");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "mpeg4 decoder error: Malloc failure [8 bytes]\nPic_Base\n");
}

}  // namespace
}  // namespace vistrel::mpeg4
