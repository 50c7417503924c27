// Basic types of the host interface: the text unit, the integer widths the
// host API uses and the error status every host operation returns.
#pragma once

#include <cstdint>

using ACHAR = char16_t;

namespace Adesk {
using Int16 = std::int16_t;
using Int32 = std::int32_t;
using Int64 = std::int64_t;
using UInt32 = std::uint32_t;
using UInt64 = std::uint64_t;
using IntDbId = std::int64_t;
using Boolean = bool;
}

namespace Acad {
// Error status of host operations; the module tests only eOk and
// eInvalidInput, the rest say why an operation failed.
enum ErrorStatus : int {
    eOk = 0,                  // success
    eNotImplementedYet = 1,   // the host has no such operation
    eNotApplicable = 2,       // the operation means nothing for this object
    eInvalidInput = 3,        // an argument is null or out of range
    eKeyNotFound = 4,         // no data, record or object under that key
    eNullObjectId = 5,        // the id is null
    eWrongObjectType = 6,     // the object is not of the class asked for
    eWasErased = 7,           // the object is erased
    eInvalidExtents = 8,      // the entity has no geometric extents
    eDegenerateGeometry = 9,  // the geometry cannot give the answer
    eFileNotFound = 10,       // a file could not be found or opened
    eFileAccessErr = 11,      // a file could not be read or written
    eDuplicateKey = 12,       // a record or handle exists already
    eAlreadyInDb = 13,        // the object belongs to a database already
};
}
