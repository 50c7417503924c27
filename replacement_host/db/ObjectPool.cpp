// Where the database objects live: slabs of 2 MB, carved from one end and
// reused through a free list per size, so a drawing of a million entities
// takes them without a call to the general allocator each, and gives them
// back the same way. The slabs are left in ordinary pages: a fresh huge page
// costs more to fault in than its 512 small ones where a hypervisor hands
// memory out lazily, and a drawing is read once, front to back. Its interface is AcDbObject's operator
// new and delete. Sanitizer builds use the general allocator, so every
// object stays visible to them; under valgrind the blocks are announced as
// heap blocks, so leaks and stray accesses still show.
#include "replacement_host/db/ObjectPool.h"

#include "host/dbmain.h"

#include <cstddef>
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
    char* spare = nullptr;  // given by a reader, taken before a new slab
    size_t spareSize = 0;
    FreeBlock* free[kLargest / kGrain + 1] = {};
};
constinit Pool g_pool;

// A fresh slab in small pages, all mapped at once: it is used whole, and one
// call costs less than a fault for each page.
bool newSlab()
{
    if (g_pool.spare) {
        g_pool.cursor = g_pool.spare;
        g_pool.limit = g_pool.spare + g_pool.spareSize;
        g_pool.spare = nullptr;
        return true;
    }
    void* raw = mmap(nullptr, kSlab, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
    if (raw == MAP_FAILED)
        return false;
    auto* slab = static_cast<char*>(raw);
#ifdef MADV_NOHUGEPAGE
    madvise(slab, kSlab, MADV_NOHUGEPAGE);
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

bool hostdb::takeSpareMemory(void* p, size_t size)
{
    // Less than a slab's quarter is not worth a slab's place.
    if (!p || g_pool.spare || size < kSlab / 4)
        return false;
    VALGRIND_MAKE_MEM_NOACCESS(p, size);
    g_pool.spare = static_cast<char*>(p);
    g_pool.spareSize = size;
    return true;
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

bool hostdb::takeSpareMemory(void*, size_t) { return false; }

void* AcDbObject::operator new(size_t size) { return ::operator new(size); }
void AcDbObject::operator delete(void* p, size_t) { ::operator delete(p); }

#endif
