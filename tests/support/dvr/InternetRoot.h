#pragma once
// The HTTP transport's process-wide root, opened once for a whole GoogleTest program:
//   const auto* const kRoot = ::testing::AddGlobalTestEnvironment(new testsupport::InternetRootEnvironment);

#include <gtest/gtest.h>

#include "stream/http/StreamRequest.h"

namespace vistrel::testsupport {

// The agent text the DVRs expect from their own client.
inline constexpr const char* kTestUserAgent = "KEMBQM/MSIE";

class InternetRootEnvironment : public ::testing::Environment {
public:
    void SetUp() override { ASSERT_TRUE(http::OpenInternetRoot(kTestUserAgent)); }
    void TearDown() override { http::CloseInternetRoot(); }
};

}  // namespace vistrel::testsupport
