// Object ids and handles. An object id names an object for the life of the
// process (its number is also what an object-id field reference writes); a
// handle names it inside its drawing and is saved with the drawing.
#pragma once

#include "host/adesk.h"

#include <functional>
#include <string>

class AcDbDatabase;

class AcDbHandle {
public:
    AcDbHandle() = default;
    explicit AcDbHandle(Adesk::UInt64 value) : m_value(value) {}
    // Reads hexadecimal digits; any other character gives the null handle.
    explicit AcDbHandle(const ACHAR* hexText);

    bool isNull() const { return m_value == 0; }
    Adesk::UInt64 value() const { return m_value; }
    // Writes upper-case hexadecimal digits without leading zeros.
    void getIntoAsciiBuffer(ACHAR* buffer, size_t bufferLength) const;
    std::u16string text() const;

    bool operator==(const AcDbHandle&) const = default;

private:
    Adesk::UInt64 m_value = 0;
};

class AcDbObjectId {
public:
    AcDbObjectId() = default;
    static AcDbObjectId fromOldId(Adesk::IntDbId value)
    {
        AcDbObjectId id;
        id.m_value = value;
        return id;
    }
    static const AcDbObjectId kNull;

    bool isNull() const { return m_value == 0; }
    // Valid: names an object that the host still holds (erased or not).
    bool isValid() const;
    bool isErased() const;
    // Erased itself or through an owner.
    bool isEffectivelyErased() const;
    Adesk::IntDbId asOldId() const { return m_value; }
    AcDbHandle handle() const;
    AcDbDatabase* database() const;

    bool operator==(const AcDbObjectId&) const = default;
    bool operator<(const AcDbObjectId& other) const { return m_value < other.m_value; }

private:
    Adesk::IntDbId m_value = 0;
};

template <> struct std::hash<AcDbObjectId> {
    size_t operator()(const AcDbObjectId& id) const noexcept { return std::hash<Adesk::IntDbId>()(id.asOldId()); }
};
