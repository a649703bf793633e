#pragma once
// The HTTP transport's process-wide root, opened once for a whole GoogleTest program:
//   const auto* const kRoot = ::testing::AddGlobalTestEnvironment(new testsupport::InternetRootEnvironment);

#include <gtest/gtest.h>

#include "base/DvrProtocol.h"
#include "stream/http/StreamRequest.h"

namespace vistrel::testsupport {

// Opened under the name the client gives its session, as the window and the command-line client do.
class InternetRootEnvironment : public ::testing::Environment {
public:
    void SetUp() override { ASSERT_TRUE(http::OpenInternetRoot(base::kCommandUserAgent)); }
    void TearDown() override { http::CloseInternetRoot(); }
};

}  // namespace vistrel::testsupport
