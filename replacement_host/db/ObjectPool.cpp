// Where the database objects live: slabs of 2 MB, taken in huge pages where
// the system gives them, carved from one end and reused through a free list
// per size. A drawing of a million entities takes them in a few dozen page
// faults instead of tens of thousands, and gives them back without a call
// to the general allocator each. Its interface is AcDbObject's operator
// new and delete. Sanitizer builds use the general allocator, so every
// object stays visible to them; under valgrind the blocks are announced as
// heap blocks, so leaks and stray accesses still show.
#include "host/dbmain.h"

#include <cstddef>
#include <cstdint>
#include <new>

#if defined(__linux__) && !defined(TESSLY_SANITIZE)
#define TESSLY_OBJECT_POOL 1
#include <sys/mman.h>
#if __has_include(<valgrind/memcheck.h>)
#include <valgrind/memcheck.h>
#endif
#endif

#ifndef VALGRIND_MALLOCLIKE_BLOCK
#define VALGRIND_MALLOCLIKE_BLOCK(addr, size, redzone, zeroed) ((void)0)
#define VALGRIND_FREELIKE_BLOCK(addr, redzone) ((void)0)
#define VALGRIND_MAKE_MEM_NOACCESS(addr, size) ((void)0)
#define VALGRIND_MAKE_MEM_UNDEFINED(addr, size) ((void)0)
#define VALGRIND_MAKE_MEM_DEFINED(addr, size) ((void)0)
#endif

#ifdef TESSLY_OBJECT_POOL
namespace {

constexpr size_t kSlab = size_t{2} << 20;
constexpr size_t kGrain = 16;
constexpr size_t kLargest = 1024;  // larger objects go to the general allocator

struct FreeBlock {
    FreeBlock* next;
};

// Never torn down: objects may outlive every static destructor.
struct Pool {
    char* cursor = nullptr;
    char* limit = nullptr;
    FreeBlock* free[kLargest / kGrain + 1] = {};
};
constinit Pool g_pool;

// A fresh slab aligned to its size, so it can be one huge page.
bool newSlab()
{
    void* raw = mmap(nullptr, 2 * kSlab, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED)
        return false;
    auto start = reinterpret_cast<std::uintptr_t>(raw);
    std::uintptr_t aligned = (start + kSlab - 1) & ~(kSlab - 1);
    if (aligned > start)
        munmap(raw, aligned - start);
    if (aligned + kSlab < start + 2 * kSlab)
        munmap(reinterpret_cast<void*>(aligned + kSlab), start + 2 * kSlab - aligned - kSlab);
    auto* slab = reinterpret_cast<char*>(aligned);
#ifdef MADV_HUGEPAGE
    madvise(slab, kSlab, MADV_HUGEPAGE);
#endif
    VALGRIND_MAKE_MEM_NOACCESS(slab, kSlab);
    g_pool.cursor = slab;
    g_pool.limit = slab + kSlab;
    return true;
}

}

void* AcDbObject::operator new(size_t size)
{
    if (size > kLargest)
        return ::operator new(size);
    size_t sizeClass = (size + kGrain - 1) / kGrain;
    if (FreeBlock* block = g_pool.free[sizeClass]) {
        VALGRIND_MAKE_MEM_DEFINED(block, sizeof(FreeBlock));
        g_pool.free[sizeClass] = block->next;
        VALGRIND_MAKE_MEM_NOACCESS(block, sizeof(FreeBlock));
        VALGRIND_MALLOCLIKE_BLOCK(block, size, 0, 0);
        return block;
    }
    size_t bytes = sizeClass * kGrain;
    if (static_cast<size_t>(g_pool.limit - g_pool.cursor) < bytes && !newSlab())
        throw std::bad_alloc();
    void* p = g_pool.cursor;
    g_pool.cursor += bytes;
    VALGRIND_MALLOCLIKE_BLOCK(p, size, 0, 0);
    return p;
}

void AcDbObject::operator delete(void* p, size_t size)
{
    if (!p)
        return;
    if (size > kLargest) {
        ::operator delete(p);
        return;
    }
    VALGRIND_FREELIKE_BLOCK(p, 0);
    VALGRIND_MAKE_MEM_UNDEFINED(p, sizeof(FreeBlock));
    auto* block = static_cast<FreeBlock*>(p);
    size_t sizeClass = (size + kGrain - 1) / kGrain;
    block->next = g_pool.free[sizeClass];
    g_pool.free[sizeClass] = block;
    VALGRIND_MAKE_MEM_NOACCESS(p, sizeof(FreeBlock));
}

#else

void* AcDbObject::operator new(size_t size) { return ::operator new(size); }
void AcDbObject::operator delete(void* p, size_t) { ::operator delete(p); }

#endif
