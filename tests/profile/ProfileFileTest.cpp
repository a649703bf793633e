#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
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

mode_t FileMode(const std::string& path) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) return 0;
    return info.st_mode & 07777;
}

// Sets an environment variable for one test and puts the old value back.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        if (value != nullptr) {
            setenv(name, value, 1);
        } else {
            unsetenv(name);
        }
    }
    ~ScopedEnv() {
        if (old_) {
            setenv(name_, old_->c_str(), 1);
        } else {
            unsetenv(name_);
        }
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

}  // namespace

TEST(ProfileFile, FirstRunWritesTheDefaultEntryAsFiveLinesAndANul) {
    TempFolder folder;
    const std::string path = folder.file("config/vistrel/") + kProfileFileName;
    auto table = NewTable();
    int hosts = -1;
    int accounts = -1;
    ASSERT_TRUE(LoadProfile(*table, path, &hosts, &accounts));

    EXPECT_EQ(hosts, 1);
    EXPECT_EQ(accounts, 1);
    EXPECT_STREQ(table->entries[0].host, kDefaultProfileHost);
    EXPECT_STREQ(table->entries[0].port, "80");
    EXPECT_STREQ(table->entries[0].user, "");
    EXPECT_STREQ(table->entries[0].password, "");

    const std::string expected = std::string("QM_HOST_COUNT=1#\r\n") + "QM_ACCOUNT_COUNT=1#\r\n" +
                                 "QM_HOST0=" + kDefaultProfileHost + "#\r\n" + "QM_PORT0=80#\r\n" +
                                 "QM_NAME0=#\r\n" + std::string(1, '\0');
    EXPECT_EQ(ReadText(path), expected);
    EXPECT_EQ(FileMode(path), 0600u);
    EXPECT_EQ(FileMode(folder.file("config/vistrel")), 0700u);
}

TEST(ProfileFile, RoundTripKeepsHostsPortsAndUsersInOrderButNeverPasswords) {
    TempFolder folder;
    const std::string path = folder.file(kProfileFileName);
    auto table = NewTable();
    SetProfileField(table->entries[0].host, "dvr.example");
    SetProfileField(table->entries[0].port, "8080");
    SetProfileField(table->entries[0].user, "admin");
    SetProfileField(table->entries[0].password, "secret");
    SetProfileField(table->entries[1].host, "  spaced host  ");
    SetProfileField(table->entries[1].port, "");
    SetProfileField(table->entries[2].user, "ends in ##");  // a user without a host of its own
    ASSERT_TRUE(SaveProfile(*table, path, 2, 3));
    EXPECT_EQ(table->hostCount, 2);
    EXPECT_EQ(table->accountCount, 3);

    EXPECT_EQ(ReadText(path), std::string("QM_HOST_COUNT=2#\r\nQM_ACCOUNT_COUNT=3#\r\n"
                                          "QM_HOST0=dvr.example#\r\nQM_PORT0=8080#\r\n"
                                          "QM_HOST1=  spaced host  #\r\nQM_PORT1=#\r\n"
                                          "QM_NAME0=admin#\r\nQM_NAME1=#\r\n"
                                          "QM_NAME2=ends in ###\r\n") +
                                  std::string(1, '\0'));
    EXPECT_EQ(FileMode(path), 0600u);

    auto loaded = NewTable();
    int hosts = 0;
    int accounts = 0;
    ASSERT_TRUE(LoadProfile(*loaded, path, &hosts, &accounts));
    EXPECT_EQ(hosts, 2);
    EXPECT_EQ(accounts, 3);
    EXPECT_STREQ(loaded->entries[0].host, "dvr.example");
    EXPECT_STREQ(loaded->entries[0].port, "8080");
    EXPECT_STREQ(loaded->entries[0].user, "admin");
    EXPECT_STREQ(loaded->entries[0].password, "");
    EXPECT_STREQ(loaded->entries[1].host, "  spaced host  ");
    EXPECT_STREQ(loaded->entries[1].port, "");
    EXPECT_STREQ(loaded->entries[2].user, "ends in ##");
}

TEST(ProfileFile, UsersSurviveAFileWithoutHosts) {
    TempFolder folder;
    const std::string path = folder.file(kProfileFileName);
    auto table = NewTable();
    SetProfileField(table->entries[0].user, "first");
    SetProfileField(table->entries[1].user, "second");
    ASSERT_TRUE(SaveProfile(*table, path, 0, 2));

    auto loaded = NewTable();
    int hosts = -1;
    int accounts = -1;
    ASSERT_TRUE(LoadProfile(*loaded, path, &hosts, &accounts));
    EXPECT_EQ(hosts, 0);
    EXPECT_EQ(accounts, 2);
    EXPECT_STREQ(loaded->entries[0].user, "first");
    EXPECT_STREQ(loaded->entries[1].user, "second");
}

TEST(ProfileFile, OldSingleEntryFormIsReadWithItsPasswordAndRewrittenWithoutIt) {
    TempFolder folder;
    const std::string path = folder.file(kProfileFileName);
    WriteText(path, "QM_HOST=10.1.2.3#\r\nQM_NAME=guest#\r\nQM_PASS=pa ss#\r\nQM_PORT=81#\r\n");
    auto table = NewTable();
    int hosts = 0;
    int accounts = 0;
    ASSERT_TRUE(LoadProfile(*table, path, &hosts, &accounts));
    EXPECT_EQ(hosts, 1);
    EXPECT_EQ(accounts, 1);
    EXPECT_STREQ(table->entries[0].host, "10.1.2.3");
    EXPECT_STREQ(table->entries[0].user, "guest");
    EXPECT_STREQ(table->entries[0].password, "pa ss");
    EXPECT_STREQ(table->entries[0].port, "81");

    ASSERT_TRUE(SaveProfile(*table, path, hosts, accounts));
    const std::string text = ReadText(path);
    EXPECT_EQ(text, std::string("QM_HOST_COUNT=1#\r\nQM_ACCOUNT_COUNT=1#\r\nQM_HOST0=10.1.2.3#\r\n"
                                "QM_PORT0=81#\r\nQM_NAME0=guest#\r\n") +
                        std::string(1, '\0'));
    EXPECT_EQ(text.find("pa ss"), std::string::npos);
}

TEST(ProfileFile, DuplicateKeysTakeTheFirstAndMissingKeysLeaveFieldsEmpty) {
    TempFolder folder;
    const std::string path = folder.file(kProfileFileName);
    WriteText(path,
              "QM_HOST_COUNT=2#\r\nQM_HOST_COUNT=9#\r\nQM_ACCOUNT_COUNT=1#\r\n"
              "QM_HOST0=first#\r\nQM_HOST0=second#\r\nQM_PORT1=82#\r\n");
    auto table = NewTable();
    SetProfileField(table->entries[0].port, "stale");
    SetProfileField(table->entries[0].user, "stale");
    int hosts = 0;
    int accounts = 0;
    ASSERT_TRUE(LoadProfile(*table, path, &hosts, &accounts));
    EXPECT_EQ(hosts, 2);
    EXPECT_EQ(accounts, 1);
    EXPECT_STREQ(table->entries[0].host, "first");
    EXPECT_STREQ(table->entries[0].port, "");
    EXPECT_STREQ(table->entries[0].user, "");
    EXPECT_STREQ(table->entries[1].host, "");
    EXPECT_STREQ(table->entries[1].port, "82");
}

TEST(ProfileFile, CountsAreClampedToTheTableAndLongValuesCut) {
    TempFolder folder;
    const std::string path = folder.file(kProfileFileName);
    std::string text = "QM_HOST_COUNT=300#\r\nQM_ACCOUNT_COUNT=99999999999999999999999#\r\n";
    for (int i = 0; i < 300; ++i) {
        text += "QM_HOST" + std::to_string(i) + "=h" + std::to_string(i) + "#\r\n";
        text += "QM_NAME" + std::to_string(i) + "=" + std::string(200, 'u') + "#\r\n";
    }
    WriteText(path, text);
    auto table = NewTable();
    int hosts = 0;
    int accounts = 0;
    ASSERT_TRUE(LoadProfile(*table, path, &hosts, &accounts));
    EXPECT_EQ(hosts, 256);
    EXPECT_EQ(accounts, 256);
    EXPECT_STREQ(table->entries[255].host, "h255");
    EXPECT_EQ(std::strlen(table->entries[255].user), 127u);

    for (const char* count : {"-5", "many", "", " +7x"}) {
        WriteText(path, std::string("QM_HOST_COUNT=") + count + "#\r\nQM_HOST0=a#\r\n");
        auto other = NewTable();
        ASSERT_TRUE(LoadProfile(*other, path, &hosts, &accounts)) << count;
        EXPECT_EQ(hosts, std::strcmp(count, " +7x") == 0 ? 7 : 0) << count;
    }

    // Texts and counts handed in by the caller are held to the table as well.
    SetProfileField(table->entries[0].host, std::string(300, 'x'));
    EXPECT_EQ(std::strlen(table->entries[0].host), 127u);
    EXPECT_EQ(table->entries[0].user[0], 'u');
    ASSERT_TRUE(SaveProfile(*table, path, 1000, -3));
    EXPECT_EQ(table->hostCount, 256);
    EXPECT_EQ(table->accountCount, 0);
    EXPECT_LT(ReadText(path).size(), kProfileFileLimit);
}

TEST(ProfileFile, OnlyTheFirst524287BytesAreSearched) {
    TempFolder folder;
    const std::string path = folder.file(kProfileFileName);
    const std::string head = "QM_HOST_COUNT=1#\r\nQM_ACCOUNT_COUNT=0#\r\n";
    const std::string line = "QM_HOST0=far#\r\n";
    // The line whose LF is the last byte searched is found; one byte later it is not.
    for (std::size_t shift : {0u, 1u}) {
        const std::size_t fill = kProfileFileLimit - 1 - head.size() - line.size() + shift;
        WriteText(path, head + std::string(fill - 2, 'f') + "\r\n" + line + "tail#\r\n");
        auto table = NewTable();
        ASSERT_TRUE(LoadProfile(*table, path, nullptr, nullptr));
        EXPECT_STREQ(table->entries[0].host, shift == 0 ? "far" : "") << "shift " << shift;
    }
}

TEST(ProfileFile, ALineBreakInsideAFieldCannotForgeAnotherKey) {
    TempFolder folder;
    const std::string path = folder.file(kProfileFileName);
    auto table = NewTable();
    SetProfileField(table->entries[0].host, "dvr\r\nQM_NAME0=forged");
    SetProfileField(table->entries[0].user, "real");
    ASSERT_TRUE(SaveProfile(*table, path, 1, 1));
    auto loaded = NewTable();
    ASSERT_TRUE(LoadProfile(*loaded, path, nullptr, nullptr));
    EXPECT_STREQ(loaded->entries[0].host, "dvr");
    EXPECT_STREQ(loaded->entries[0].user, "real");
}

TEST(ProfileFile, SavingReplacesTheFileWholeOrNotAtAll) {
    TempFolder folder;
    const std::string path = folder.file(kProfileFileName);
    WriteText(path, "old");
    chmod(path.c_str(), 0644);
    auto table = NewTable();
    SetProfileField(table->entries[0].host, "new");
    ASSERT_TRUE(SaveProfile(*table, path, 1, 0));
    EXPECT_EQ(ReadText(path).substr(0, 16), "QM_HOST_COUNT=1#");
    EXPECT_EQ(FileMode(path), 0600u);
    // No temporary file is left beside it.
    int files = 0;
    for ([[maybe_unused]] const auto& item : std::filesystem::directory_iterator(folder.path())) {
        ++files;
    }
    EXPECT_EQ(files, 1);

    // A profile linked in from elsewhere stays a link to the rewritten file.
    std::filesystem::create_directory(folder.file("kept"));
    const std::string kept = folder.file("kept/") + kProfileFileName;
    WriteText(kept, "old");
    const std::string linked = folder.file("linked.txt");
    std::filesystem::create_symlink(kept, linked);
    ASSERT_TRUE(SaveProfile(*table, linked, 1, 0));
    EXPECT_TRUE(std::filesystem::is_symlink(linked));
    EXPECT_EQ(ReadText(kept).substr(0, 16), "QM_HOST_COUNT=1#");

    // A folder that cannot be made (a file stands in its place) fails and changes nothing.
    WriteText(folder.file("blocker"), "x");
    EXPECT_FALSE(SaveProfile(*table, folder.file("blocker/sub/") + kProfileFileName, 1, 0));
    EXPECT_EQ(ReadText(folder.file("blocker")), "x");

    // A file that exists but cannot be read as one is not overwritten with the default entry.
    std::filesystem::create_directory(folder.file("folder-in-the-way"));
    auto other = NewTable();
    int hosts = 0;
    ASSERT_TRUE(LoadProfile(*other, folder.file("folder-in-the-way"), &hosts, nullptr));
    EXPECT_EQ(hosts, 1);
    EXPECT_STREQ(other->entries[0].host, kDefaultProfileHost);
    EXPECT_TRUE(std::filesystem::is_directory(folder.file("folder-in-the-way")));
}

TEST(ProfilePath, FollowsXdgConfigHomeElseTheHomeFolder) {
    {
        ScopedEnv config("XDG_CONFIG_HOME", "/somewhere/cfg");
        EXPECT_EQ(DefaultProfilePath(), std::string("/somewhere/cfg/vistrel/") + kProfileFileName);
    }
    ScopedEnv home("HOME", "/home/tester");
    for (const char* unusable : {static_cast<const char*>(nullptr), "", "relative/cfg"}) {
        ScopedEnv config("XDG_CONFIG_HOME", unusable);
        EXPECT_EQ(DefaultProfilePath(), std::string("/home/tester/.config/vistrel/") + kProfileFileName)
            << (unusable ? unusable : "(unset)");
    }
}

TEST(ProfileFile, ALineIsFoundWhereverTheReadingBufferHadToGrow) {
    TempFolder folder;
    const std::string path = folder.file(kProfileFileName);
    const std::string head = "QM_HOST_COUNT=1#\r\nQM_ACCOUNT_COUNT=0#\r\n";
    const std::string line = "QM_HOST0=across#\r\n";
    // The buffer starts small and doubles; put the key, the value and the line break in turn
    // across each place where a read stopped, and end one file exactly there.
    for (std::size_t boundary : {std::size_t(4095), std::size_t(8191), std::size_t(262143)}) {
        for (std::size_t split : {std::size_t(1), std::size_t(10), line.size() - 1, line.size()}) {
            const std::size_t fill = boundary - split - head.size();
            WriteText(path, head + std::string(fill - 2, 'f') + "\r\n" + line);
            auto table = NewTable();
            ASSERT_TRUE(LoadProfile(*table, path, nullptr, nullptr));
            EXPECT_STREQ(table->entries[0].host, "across") << "boundary " << boundary << ", split " << split;
        }
    }
}
