// Damaged profile files: whatever the bytes, loading never crashes, never reads or writes outside
// the table, and leaves counts and fields the window can use. ASan watches the buffers.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

#include "app/profile/Profile.h"
#include "tests/profile/ProfileTestSupport.h"
#include "tests/support/Files.h"

using namespace vistrel::app;
using vistrel::app::test::NewTable;
using vistrel::testsupport::ReadText;
using vistrel::testsupport::TempFolder;
using vistrel::testsupport::WriteText;

namespace {

void ExpectUsable(const ProfileTable& table, int hosts, int accounts, const std::string& what) {
    ASSERT_GE(hosts, 0) << what;
    ASSERT_LE(hosts, kProfileEntryCount) << what;
    ASSERT_GE(accounts, 0) << what;
    ASSERT_LE(accounts, kProfileEntryCount) << what;
    EXPECT_EQ(table.hostCount, hosts) << what;
    EXPECT_EQ(table.accountCount, accounts) << what;
    for (const ProfileEntry& entry : table.entries) {
        ASSERT_NE(std::memchr(entry.host, '\0', sizeof entry.host), nullptr) << what;
        ASSERT_NE(std::memchr(entry.user, '\0', sizeof entry.user), nullptr) << what;
        ASSERT_NE(std::memchr(entry.password, '\0', sizeof entry.password), nullptr) << what;
        ASSERT_NE(std::memchr(entry.port, '\0', sizeof entry.port), nullptr) << what;
    }
}

// Loads the bytes as a profile and, with roundTrip, saves and loads the result again: what was read
// from a damaged file must also survive being written. Saving syncs to disk, so only a sample of
// the cases takes that road.
void LoadDamaged(const std::string& path, const std::string& bytes, const std::string& what, bool roundTrip) {
    WriteText(path, bytes);
    auto table = NewTable();
    int hosts = -1;
    int accounts = -1;
    ASSERT_TRUE(LoadProfile(*table, path, &hosts, &accounts)) << what;
    ExpectUsable(*table, hosts, accounts, what);
    if (!roundTrip) return;
    ASSERT_TRUE(SaveProfile(*table, path, hosts, accounts)) << what;
    auto again = NewTable();
    ASSERT_TRUE(LoadProfile(*again, path, &hosts, &accounts)) << what;
    ExpectUsable(*again, hosts, accounts, what);
}

std::string ValidProfile(const std::string& path) {
    auto table = NewTable();
    SetProfileField(table->entries[0].host, "dvr.example");
    SetProfileField(table->entries[0].port, "8080");
    SetProfileField(table->entries[0].user, "admin");
    SetProfileField(table->entries[1].host, "10.0.0.7");
    SetProfileField(table->entries[1].port, "80");
    SetProfileField(table->entries[1].user, std::string(127, 'u'));
    SetProfileField(table->entries[2].host, std::string(127, 'h'));
    EXPECT_TRUE(SaveProfile(*table, path, 3, 2));
    return ReadText(path);
}

}  // namespace

TEST(ProfileRobustness, EveryTruncationOfAValidFile) {
    TempFolder folder;
    const std::string path = folder.file(kProfileFileName);
    const std::string valid = ValidProfile(path);
    ASSERT_GT(valid.size(), 100u);
    for (std::size_t length = 0; length <= valid.size(); ++length) {
        LoadDamaged(path, valid.substr(0, length), "truncated to " + std::to_string(length), length % 16 == 0);
        if (HasFatalFailure()) return;
    }
}

// Every bit of the two count lines, where a flip changes the most; elsewhere two bits per byte,
// the top one (no longer ASCII) and one that walks through the byte.
TEST(ProfileRobustness, BitFlipsOfAValidFile) {
    TempFolder folder;
    const std::string path = folder.file(kProfileFileName);
    const std::string valid = ValidProfile(path);
    for (std::size_t byte = 0; byte < valid.size(); ++byte) {
        for (int bit = 0; bit < 8; ++bit) {
            if (byte >= 40 && bit != 7 && bit != static_cast<int>(byte % 7)) continue;
            std::string damaged = valid;
            damaged[byte] = static_cast<char>(damaged[byte] ^ (1 << bit));
            const std::string what = "byte " + std::to_string(byte) + " bit " + std::to_string(bit);
            LoadDamaged(path, damaged, what, bit == 0 && byte % 8 == 0);
            if (HasFatalFailure()) return;
        }
    }
}

TEST(ProfileRobustness, RandomKeysValuesAndLineBreaks) {
    TempFolder folder;
    const std::string path = folder.file(kProfileFileName);
    std::mt19937 random(20261208);
    const char* pieces[] = {"QM_HOST_COUNT=",
                            "QM_ACCOUNT_COUNT=",
                            "QM_HOST",
                            "QM_PORT",
                            "QM_NAME",
                            "QM_PASS=",
                            "QM_HOST=",
                            "=",
                            "#",
                            "\r\n",
                            "\r",
                            "\n",
                            "\0",
                            "255",
                            "256",
                            "-1",
                            "4294967296",
                            "x"};
    for (int round = 0; round < 300; ++round) {
        std::string bytes;
        const int count = static_cast<int>(random() % 200);
        for (int i = 0; i < count; ++i) {
            const std::size_t pick = random() % (sizeof pieces / sizeof pieces[0] + 1);
            if (pick < sizeof pieces / sizeof pieces[0]) {
                bytes.append(pieces[pick], pick == 12 ? 1 : std::strlen(pieces[pick]));
            } else {
                bytes.append(random() % 300, static_cast<char>('a' + random() % 26));
            }
        }
        LoadDamaged(path, bytes, "round " + std::to_string(round), round % 8 == 0);
        if (HasFatalFailure()) return;
    }
}
