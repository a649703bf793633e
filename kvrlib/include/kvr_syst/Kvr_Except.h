// The library's exception family and the assertion routine every module raises it through.
#pragma once

#include <cstdarg>
#include <cstddef>

// Base of every failure the library reports. Texts live in process-wide buffers so that they stay
// valid while the exception travels; a second failure on another thread overwrites them.
class KVR_EXCEPTION {
public:
    KVR_EXCEPTION();
    virtual ~KVR_EXCEPTION();
    virtual void Print() const;
    // The message text (may be empty); for tests and callers that log instead of printing.
    static const char* Message();
};

class KVR_MEM_EXCEPTION : public KVR_EXCEPTION {
public:
    KVR_MEM_EXCEPTION(const char* Name, long Bytes);
    void Print() const override;
    static const char* Name();
    static long Bytes();
};

class KVR_ASSERT_EXCEPTION : public KVR_EXCEPTION {
public:
    KVR_ASSERT_EXCEPTION(const char* Condition, const char* Source, int Line, const char* Msg = nullptr);
    void Print() const override;
    static const char* Condition();
    static const char* Source();
    static int Line();
};

class KVR_MSG_EXCEPTION : public KVR_EXCEPTION {
public:
    explicit KVR_MSG_EXCEPTION(const char* Format, ...) __attribute__((format(printf, 2, 3)));

protected:
    KVR_MSG_EXCEPTION() {}
    static void Format_Message(const char* Format, va_list Args);
};

// Raised when the stream asks for something this decoder does not do (a feature, or a picture it
// cannot decode because the data needed is missing). The decoder stays usable.
class KVR_UNSUPPORTED_EXCEPTION : public KVR_MSG_EXCEPTION {
public:
    explicit KVR_UNSUPPORTED_EXCEPTION(const char* Format, ...) __attribute__((format(printf, 2, 3)));
};

// Raised when the bitstream itself is damaged (impossible code, data ended inside a picture).
class KVR_STREAM_EXCEPTION : public KVR_MSG_EXCEPTION {
public:
    explicit KVR_STREAM_EXCEPTION(const char* Format, ...) __attribute__((format(printf, 2, 3)));
};

[[noreturn]] void Kvr_Assert_Failed(const char* Condition, const char* Source, int Line,
                                    const char* Msg = nullptr);
[[noreturn]] void Kvr_Mem_Failed(const char* Name, long Bytes);

// Programming errors only: never test a value that came from a stream with this.
#define KVR_ASSERT(Src, Cond)                                 \
    do {                                                      \
        if (!(Cond)) Kvr_Assert_Failed(#Cond, Src, __LINE__); \
    } while (0)
// The same with the condition's text given: for the conditions callers match by their exact text,
// which must not follow the source's spacing.
#define KVR_ASSERT_TEXT(Src, Cond, Text)                     \
    do {                                                     \
        if (!(Cond)) Kvr_Assert_Failed(Text, Src, __LINE__); \
    } while (0)
