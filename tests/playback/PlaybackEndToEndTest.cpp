// placeholder
#include <gtest/gtest.h>
TEST(PlaybackEndToEnd, Placeholder) {}
