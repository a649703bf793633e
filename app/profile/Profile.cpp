// Loading and saving the profile file of remembered hosts and accounts.
#include "app/profile/Profile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <utility>

#include "app/profile/ReplaceFile.h"

namespace vistrel::app {

namespace {

constexpr std::size_t kFieldSize = sizeof(ProfileEntry::host);
// Private data: hosts and user names, and once upon a time passwords.
constexpr mode_t kProfileFileMode = 0600;

// Like atoi, but a count from the file can never leave the table: saturating, and clamped to the
// entries there are. Nothing numeric reads as 0.
int ParseCount(const char* text) {
    while (*text == ' ' || *text == '\t') ++text;
    bool negative = false;
    if (*text == '+' || *text == '-') negative = *text++ == '-';
    long value = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        if (value <= kProfileEntryCount) value = value * 10 + (*text - '0');
    }
    if (negative) return 0;
    return value > kProfileEntryCount ? kProfileEntryCount : static_cast<int>(value);
}

int ClampCount(int count) {
    if (count < 0) return 0;
    return count > kProfileEntryCount ? kProfileEntryCount : count;
}

bool FindIndexedValue(const char* text, const char* prefix, int index, char (&field)[kFieldSize]) {
    char key[32];
    std::snprintf(key, sizeof key, "%s%d=", prefix, index);
    return FindProfileValue(text, key, field, sizeof field);
}

void SetDefaultEntry(ProfileTable& table) {
    std::memset(&table.entries[0], 0, sizeof(ProfileEntry));
    SetProfileField(table.entries[0].host, kDefaultProfileHost);
    SetProfileField(table.entries[0].port, kDefaultProfilePort);
    table.hostCount = 1;
    table.accountCount = 1;
}

// The field's text as it goes into the file. A CR or LF would end the line early and let the rest
// of the value pose as another key, so the value stops there.
std::string_view FieldText(const char (&field)[kFieldSize]) {
    std::size_t length = 0;
    while (length < kFieldSize - 1 && field[length] != '\0' && field[length] != '\r' && field[length] != '\n') {
        ++length;
    }
    return {field, length};
}

void AppendLine(std::string& text, const char* key, std::string_view value) {
    text += key;
    text += value;
    text += "#\r\n";
}

void AppendIndexedLine(std::string& text, const char* prefix, int index, std::string_view value) {
    char key[32];
    std::snprintf(key, sizeof key, "%s%d=", prefix, index);
    AppendLine(text, key, value);
}

void ReportCounts(const ProfileTable& table, int* hostCount, int* accountCount) {
    if (hostCount != nullptr) *hostCount = table.hostCount;
    if (accountCount != nullptr) *accountCount = table.accountCount;
}

// The file's first kProfileFileLimit - 1 bytes, NUL-terminated, in a buffer that grows with what
// the file holds: a profile is a few hundred bytes, and the limit only guards against a huge file.
// False when memory runs out; *readFailed when the file could not be read.
bool ReadProfileText(std::FILE* file, std::unique_ptr<char[]>* text, bool* readFailed) {
    std::size_t capacity = 4096;
    std::size_t length = 0;
    std::unique_ptr<char[]> buffer(new (std::nothrow) char[capacity]);
    if (buffer == nullptr) return false;
    for (;;) {
        length += std::fread(buffer.get() + length, 1, capacity - 1 - length, file);
        if (length < capacity - 1 || capacity == kProfileFileLimit) break;
        const std::size_t larger = capacity * 2 < kProfileFileLimit ? capacity * 2 : kProfileFileLimit;
        std::unique_ptr<char[]> grown(new (std::nothrow) char[larger]);
        if (grown == nullptr) return false;
        std::memcpy(grown.get(), buffer.get(), length);
        buffer = std::move(grown);
        capacity = larger;
    }
    buffer[length] = '\0';
    *readFailed = std::ferror(file) != 0;
    *text = std::move(buffer);
    return true;
}

}  // namespace

bool LoadProfile(ProfileTable& table, const std::string& path, int* hostCount, int* accountCount) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        const int openError = errno;
        SetDefaultEntry(table);
        // Only a missing file is replaced; one that exists but cannot be read is left for the user
        // to mend rather than overwritten with the default.
        if (openError == ENOENT) SaveProfile(table, path, 1, 1);
        ReportCounts(table, hostCount, accountCount);
        return true;
    }

    std::unique_ptr<char[]> buffer;
    bool readFailed = false;
    const bool haveBuffer = ReadProfileText(file, &buffer, &readFailed);
    std::fclose(file);
    if (!haveBuffer) {
        if (hostCount != nullptr) *hostCount = 0;
        if (accountCount != nullptr) *accountCount = 0;
        return false;
    }
    if (readFailed) {  // a folder in the file's place, or an I/O error
        SetDefaultEntry(table);
        ReportCounts(table, hostCount, accountCount);
        return true;
    }
    const char* text = buffer.get();

    char count[kFieldSize];
    if (FindProfileValue(text, "QM_HOST_COUNT=", count, sizeof count)) {
        table.hostCount = ParseCount(count);
    }
    if (FindProfileValue(text, "QM_ACCOUNT_COUNT=", count, sizeof count)) {
        table.accountCount = ParseCount(count);
    }
    table.hostCount = ClampCount(table.hostCount);
    table.accountCount = ClampCount(table.accountCount);

    bool namesRead = false;
    if (table.hostCount != 0) {
        for (int i = 0; i < table.hostCount; ++i) {
            ProfileEntry& entry = table.entries[i];
            std::memset(&entry, 0, sizeof entry);
            FindIndexedValue(text, "QM_HOST", i, entry.host);
            FindIndexedValue(text, "QM_PORT", i, entry.port);
        }
    } else {
        // The older single-entry form, the only one that ever carried a password.
        ProfileEntry& entry = table.entries[0];
        std::memset(&entry, 0, sizeof entry);
        if (FindProfileValue(text, "QM_HOST=", entry.host, sizeof entry.host)) table.hostCount = 1;
        if (FindProfileValue(text, "QM_NAME=", entry.user, sizeof entry.user)) {
            table.accountCount = 1;
            namesRead = true;
        }
        FindProfileValue(text, "QM_PASS=", entry.password, sizeof entry.password);
        FindProfileValue(text, "QM_PORT=", entry.port, sizeof entry.port);
    }
    // Also for a file saved with users but no host, which would otherwise show empty user names.
    if (!namesRead) {
        for (int i = 0; i < table.accountCount; ++i) {
            ProfileEntry& entry = table.entries[i];
            std::memset(entry.user, 0, sizeof entry.user);
            FindIndexedValue(text, "QM_NAME", i, entry.user);
        }
    }

    ReportCounts(table, hostCount, accountCount);
    return true;
}

bool SaveProfile(ProfileTable& table, const std::string& path, int hostCount, int accountCount) {
    table.hostCount = ClampCount(hostCount);
    table.accountCount = ClampCount(accountCount);

    // At most 3 * 256 lines of 141 bytes: far below the limit whatever the fields hold.
    std::string text;
    text.reserve(4096);
    AppendLine(text, "QM_HOST_COUNT=", std::to_string(table.hostCount));
    AppendLine(text, "QM_ACCOUNT_COUNT=", std::to_string(table.accountCount));
    for (int i = 0; i < table.hostCount; ++i) {
        AppendIndexedLine(text, "QM_HOST", i, FieldText(table.entries[i].host));
        AppendIndexedLine(text, "QM_PORT", i, FieldText(table.entries[i].port));
    }
    for (int i = 0; i < table.accountCount; ++i) {
        AppendIndexedLine(text, "QM_NAME", i, FieldText(table.entries[i].user));
    }
    // Profile files have always ended in one NUL byte; other readers may rely on it.
    text.push_back('\0');
    if (text.size() > kProfileFileLimit) return false;

    return ReplaceFile(path, text.data(), text.size(), kProfileFileMode);
}

}  // namespace vistrel::app
