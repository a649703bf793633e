#pragma once
// Playback speed codes, player commands and progress report kinds shared by the player and its callers.

#include <cstdint>
#include <string_view>

namespace vistrel::playback {

// Positive codes divide time-stamp distances, negative ones multiply them; 0 presents at once.
constexpr int kSpeedFull = 0;
constexpr int kSpeed1X = 1;
constexpr int kSpeed2X = 2;
constexpr int kSpeed4X = 4;
constexpr int kSpeedHalf = -2;
constexpr int kSpeedQuarter = -4;
constexpr int kSpeedEighth = -8;

constexpr int kCommandNone = -1;
constexpr int kCommandPause = 0;
constexpr int kCommandPlay = 1;
constexpr int kCommandStep = 2;

constexpr int kProgressPosition = 1;    // value: position in ms
constexpr int kProgressStreamEnd = 3;   // the transport ended the response
constexpr int kProgressPlayEnd = 4;     // value: endCode << 16 | endRecordSeen
constexpr int kProgressFirstData = 20;  // the first block of the response arrived
constexpr int kProgressChannel = 30;    // value: channel index presented

// (kind, value, context); called from the player's and the transport's threads.
using ProgressFunction = void (*)(int kind, int value, void* context);

// "Full", "1X", "2X", "4X", "(1/2)X", "(1/4)X", "(1/8)X" to their codes; false for anything else.
inline bool SpeedCodeFromText(std::string_view text, int& code) {
    struct Entry {
        std::string_view text;
        int code;
    };
    static constexpr Entry kTable[] = {{"Full", kSpeedFull},    {"1X", kSpeed1X},       {"2X", kSpeed2X},
                                       {"4X", kSpeed4X},        {"(1/2)X", kSpeedHalf}, {"(1/4)X", kSpeedQuarter},
                                       {"(1/8)X", kSpeedEighth}};
    for (const auto& e : kTable)
        if (e.text == text) {
            code = e.code;
            return true;
        }
    return false;
}

inline const char* SpeedText(int code) {
    switch (code) {
        case kSpeedFull: return "Full";
        case kSpeed1X: return "1X";
        case kSpeed2X: return "2X";
        case kSpeed4X: return "4X";
        case kSpeedHalf: return "(1/2)X";
        case kSpeedQuarter: return "(1/4)X";
        case kSpeedEighth: return "(1/8)X";
        default: return "?";
    }
}

}  // namespace vistrel::playback
