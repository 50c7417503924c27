// The pool that database objects are made in (see ObjectPool.cpp). Its one
// interface beyond AcDbObject's operator new and delete: memory a reader has
// finished with, given to the pool for the objects it reads.
#pragma once

#include <cstddef>

namespace hostdb {
// Takes size bytes at p, pages mapped with mmap and already touched, as the
// next room for objects: the objects read from a file then reuse the pages
// its text was read into instead of faulting in as many again. False when
// the pool takes none (too little, one already held, or no pool in this
// build); the caller then keeps them. The pool never gives them back.
bool takeSpareMemory(void* p, size_t size);
}
