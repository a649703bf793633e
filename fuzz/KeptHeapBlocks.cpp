// operator new and delete for the libFuzzer executables: large blocks given back are kept,
// poisoned, for later requests instead of returned to the system.
//
// Under AddressSanitizer every block above 128 KB is a mapping of its own: made, faulted in page by
// page, cleared and unmapped again. Decoders allocate their pictures afresh for every input (a
// 16CIF H.263 pair is 5 MB), so that churn, not decoding, was the largest cost of a small input.
// Every block still comes from malloc and goes back through free, so overruns, leaks and double
// frees are reported as before; a kept block is poisoned whole and a lent one beyond its request,
// so a use after delete or past the end is reported as a use of poisoned memory. What is lost is
// the check that new[] pairs with delete[] (the allocator sees malloc and free only).
//
// Linked into the libFuzzer executables only: the replay in ./test keeps the sanitizer's own.

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <new>

#include <sanitizer/asan_interface.h>

// The sanitizer's allocator interface (declared here: not every compiler ships its header).
extern "C" std::size_t __sanitizer_get_allocated_size(const volatile void* p);

namespace {

constexpr std::size_t kLarge = 64 * 1024;
constexpr std::size_t kKeptCount = 8;

struct Block {
    void* p = nullptr;
    std::size_t capacity = 0;
};

// The targets decode on one thread, but the transport's may allocate from others.
std::atomic_flag busy = ATOMIC_FLAG_INIT;
Block kept[kKeptCount];    // guarded by busy
std::size_t nextKept = 0;  // guarded by busy

class Hold {
public:
    Hold() {
        while (busy.test_and_set(std::memory_order_acquire)) {
        }
    }
    ~Hold() { busy.clear(std::memory_order_release); }
};

void* takeKept(std::size_t size) {
    Hold hold;
    Block* best = nullptr;
    for (Block& k : kept)
        if (k.p != nullptr && k.capacity >= size && (best == nullptr || k.capacity < best->capacity)) best = &k;
    if (best == nullptr) return nullptr;
    void* p = best->p;
    *best = Block{};
    ASAN_UNPOISON_MEMORY_REGION(p, size);
    return p;
}

void* allocate(std::size_t size) {
    if (size >= kLarge) {
        if (void* p = takeKept(size)) return p;
    }
    return std::malloc(size ? size : 1);
}

void release(void* p) {
    if (p == nullptr) return;
    // The allocator knows the size it gave out: for a lent block, the whole kept block.
    const std::size_t capacity = __sanitizer_get_allocated_size(p);
    if (capacity < kLarge) {
        std::free(p);
        return;
    }
    void* evicted = nullptr;
    {
        Hold hold;
        for (const Block& k : kept) {
            if (k.p == p) {
                std::fprintf(stderr, "fuzz finding: block deleted twice\n");
                std::abort();
            }
        }
        Block& slot = kept[nextKept++ % kKeptCount];
        evicted = slot.p;
        ASAN_POISON_MEMORY_REGION(p, capacity);
        slot = Block{p, capacity};
    }
    if (evicted != nullptr) {
        ASAN_UNPOISON_MEMORY_REGION(evicted, __sanitizer_get_allocated_size(evicted));
        std::free(evicted);
    }
}

void* allocateOrThrow(std::size_t size) {
    void* p = allocate(size);
    if (p == nullptr) throw std::bad_alloc();
    return p;
}

}  // namespace

void* operator new(std::size_t size) { return allocateOrThrow(size); }
void* operator new[](std::size_t size) { return allocateOrThrow(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return allocate(size); }
void operator delete(void* p) noexcept { release(p); }
void operator delete[](void* p) noexcept { release(p); }
void operator delete(void* p, std::size_t) noexcept { release(p); }
void operator delete[](void* p, std::size_t) noexcept { release(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { release(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { release(p); }
