// operator new and delete for the libFuzzer executables: large blocks given back are kept,
// poisoned, for later requests instead of returned to the system (see KeptBlockPool; a 16CIF
// H.263 picture pair, allocated afresh for every input, is 5 MB).
//
// Every block still comes from malloc and goes back through free, so overruns, leaks and double
// deletes are reported as before. What is lost is the check that new[] pairs with delete[] (the
// allocator sees malloc and free only).
//
// Linked into the libFuzzer executables only: the replay in ./test keeps the sanitizer's own.

#include <cstdio>
#include <cstdlib>
#include <new>

#include "fuzz/KeptBlockPool.h"

// The sanitizer's allocator interface (declared here: not every compiler ships its header).
extern "C" std::size_t __sanitizer_get_allocated_size(const volatile void* p);

namespace {

using vistrel::fuzz::KeptBlockPool;

// Never destroyed: static objects may delete blocks after everything else has gone.
KeptBlockPool& pool() {
    static auto* const kept = new (std::malloc(sizeof(KeptBlockPool))) KeptBlockPool;
    return *kept;
}

void* allocate(std::size_t size) {
    if (void* p = pool().take(size).p) return p;
    return std::malloc(size ? size : 1);
}

void release(void* p) {
    if (p == nullptr) return;
    // The allocator knows the size it gave out: for a lent block, the whole kept block.
    const std::size_t capacity = __sanitizer_get_allocated_size(p);
    if (!pool().keep({p, capacity}, [](const KeptBlockPool::Block& b) { std::free(b.p); })) {
        std::fprintf(stderr, "fuzz finding: block deleted twice\n");
        std::abort();
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
