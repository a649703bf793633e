// Pluggable allocators: the interface, the default heap allocator and the tracing allocator.
#pragma once

#include <cstddef>

class KVR_MEM_I {
public:
    virtual ~KVR_MEM_I();
    // Rounds up to a multiple of 8, fills the block with 0xDE; raises KVR_MEM_EXCEPTION on failure.
    virtual void* New(size_t Size);
    // Size is the size that was given to New; fills the block with 0xAD before releasing it.
    virtual void Delete(void* Ptr, size_t Size);
};

// The process-wide default allocator.
KVR_MEM_I* Kvr_Default_Mem();

// The allocator each new decoder starts with, as if Set_Memory_Manager had been called on it; null
// (the start) means the plain heap. Lets a program pool the decoders' large blocks without reaching
// every place that makes one. Decoders made earlier keep theirs; it must outlive the decoders made
// with it.
void Kvr_Set_Decoder_Mem(KVR_MEM_I* Mem);
KVR_MEM_I* Kvr_Decoder_Mem();

// Records every live block so that leaks and size mismatches are reported. Not locked: one
// thread at a time, and it must outlive every block it handed out.
class KVR_MEM_TRC_I : public KVR_MEM_I {
public:
    explicit KVR_MEM_TRC_I(int Verbose = 1);
    ~KVR_MEM_TRC_I() override;
    void* New(size_t Size) override;
    void Delete(void* Ptr, size_t Size) override;

    long Total() const { return Total_; }
    long Peak() const { return Peak_; }
    int Live() const { return Nb_; }
    int Capacity() const { return Max_; }

private:
    struct SLOT {
        void* Ptr;
        long Size;
    };
    long Total_ = 0;
    long Peak_ = 0;
    int Nb_ = 0;
    int Max_ = 0;
    SLOT* Slots_ = nullptr;
    int Verbose_;
};
