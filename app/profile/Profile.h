// The remembered DVR hosts and user accounts, and the small text file that keeps them between runs.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vistrel::app {

// 512 bytes: four NUL-terminated 8-bit texts of at most 127 characters each. The password is filled
// only from an old single-entry file; it is never written back.
struct ProfileEntry {
    char host[128];
    char user[128];
    char password[128];
    char port[128];
};
static_assert(sizeof(ProfileEntry) == 512);

inline constexpr int kProfileEntryCount = 256;
// Bytes read at most; the last byte is forced to NUL, so content beyond 524,287 bytes is ignored.
inline constexpr std::size_t kProfileFileLimit = 524288;
inline constexpr const char* kProfileFileName = "profile(wmQM).txt";
// A documentation address (TEST-NET-1), offered on the very first run.
inline constexpr const char* kDefaultProfileHost = "192.0.2.1";
inline constexpr const char* kDefaultProfilePort = "80";

// The host list is the host and port of entries 0..hostCount-1, the account list the user of
// entries 0..accountCount-1; both lists share the entries but are counted independently.
// Owned by the GUI thread. Zero-initialise it ({}) before the first load.
struct ProfileTable {
    ProfileEntry entries[kProfileEntryCount];
    int hostCount;
    int accountCount;
};

// $XDG_CONFIG_HOME/vistrel/profile(wmQM).txt, or ~/.config/vistrel/ when XDG_CONFIG_HOME is unset,
// empty or not an absolute path.
std::string DefaultProfilePath();

// Finds the first occurrence of key in the NUL-terminated text and copies the value after it, up to
// the next CR LF, into out (cut to outSize-1 characters, always terminated). One trailing "#" is
// dropped. False when the key is absent, no CR LF follows it, or out cannot hold a terminator;
// out is then left untouched.
bool FindProfileValue(const char* text, const char* key, char* out, std::size_t outSize);

// Fills the table from the file; a missing file gets the default entry and is written at once
// (SaveProfile(table, 1, 1)). Counts in the file are clamped to 0..256 and long values cut, so
// nothing in the file can overflow the table. Returns false only when the read buffer cannot be
// had.
// hostCount and accountCount may be null.
bool LoadProfile(ProfileTable& table, const std::string& path, int* hostCount, int* accountCount);

// Stores the counts (clamped to 0..256) in the table and rewrites the file: directory created as
// needed, file mode 0600 since it names hosts and users, never more than kProfileFileLimit bytes.
// The text goes to a temporary file in the same folder that is renamed into place, so a crash never
// leaves a half-written profile. False when the file cannot be written; the old file then stays.
bool SaveProfile(ProfileTable& table, const std::string& path, int hostCount, int accountCount);

// Copies a text into a 128-byte field, cut to 127 characters, always terminated, rest zeroed.
void SetProfileField(char (&field)[128], std::string_view value);

}  // namespace vistrel::app
