#include <gtest/gtest.h>

#include <string>

#include "app/profile/Profile.h"

using namespace vistrel::app;

namespace {

std::string Find(const char* text, const char* key, std::size_t outSize = 128) {
    std::string out(outSize, '?');
    if (!FindProfileValue(text, key, out.data(), outSize)) return "<none>";
    return out.c_str();
}

}  // namespace

TEST(ProfileValue, ValueRunsFromKeyToCrLfKeepingSpacesAndDroppingOneHash) {
    const char* text =
        "QM_HOST0=  my dvr  #\r\n"
        "QM_HOST1=a##\r\n"
        "QM_HOST2=no hash\r\n"
        "QM_HOST3=#\r\n"
        "QM_HOST4=lf only#\n"
        "QM_HOST5=x#\r\n";
    EXPECT_EQ(Find(text, "QM_HOST0="), "  my dvr  ");
    EXPECT_EQ(Find(text, "QM_HOST1="), "a#");
    EXPECT_EQ(Find(text, "QM_HOST2="), "no hash");
    EXPECT_EQ(Find(text, "QM_HOST3="), "");
    // A bare LF does not end a line: the value runs on to the next CR LF.
    EXPECT_EQ(Find(text, "QM_HOST4="), "lf only#\nQM_HOST5=x");
    EXPECT_EQ(Find(text, "QM_HOST9="), "<none>");
}

TEST(ProfileValue, FirstOfDuplicateKeysWinsAndALineWithoutCrLfIsNotFound) {
    EXPECT_EQ(Find("QM_HOST0=first#\r\nQM_HOST0=second#\r\n", "QM_HOST0="), "first");
    EXPECT_EQ(Find("QM_HOST0=unterminated#", "QM_HOST0="), "<none>");
    EXPECT_EQ(Find("QM_HOST0=unterminated#\r", "QM_HOST0="), "<none>");
    // Keys are matched whole: host 1 is not found inside host 11.
    EXPECT_EQ(Find("QM_HOST11=eleven#\r\n", "QM_HOST1="), "<none>");
}

TEST(ProfileValue, LongValuesAreCutToTheOutputAndFailuresLeaveItAlone) {
    const std::string text = "K=" + std::string(300, 'v') + "#\r\n";
    EXPECT_EQ(Find(text.c_str(), "K="), std::string(127, 'v'));
    EXPECT_EQ(Find(text.c_str(), "K=", 1), "");

    char out[4] = {'a', 'b', 'c', '\0'};
    EXPECT_FALSE(FindProfileValue(text.c_str(), "missing=", out, sizeof out));
    EXPECT_STREQ(out, "abc");
    EXPECT_FALSE(FindProfileValue(text.c_str(), "K=", out, 0));
    EXPECT_FALSE(FindProfileValue(nullptr, "K=", out, sizeof out));
    EXPECT_FALSE(FindProfileValue(text.c_str(), "", out, sizeof out));
    EXPECT_STREQ(out, "abc");
}
