// AcDbEvalVariant: one value of a dynamic-block property, tagged with the
// type code the host's result buffers use. Only the four types below carry a
// value readers can take; any other code is kept as a bare tag.
#pragma once

#include "host/AcString.h"
#include "host/adesk.h"

class AcDbEvalVariant {
public:
    // Type codes, numbered as the host numbers result-buffer values.
    enum TypeCode : Adesk::Int16 {
        kNone = 0,    // no value
        kText = 1,    // text
        kReal = 40,   // double
        kInt16 = 70,  // signed 16-bit integer
        kInt32 = 90,  // 32-bit integer
    };

    AcDbEvalVariant() = default;
    explicit AcDbEvalVariant(const ACHAR* text) : m_type(kText), m_text(text ? text : u"") {}
    explicit AcDbEvalVariant(double value) : m_type(kReal), m_real(value) {}
    explicit AcDbEvalVariant(Adesk::Int16 value) : m_type(kInt16), m_int16(value) {}
    explicit AcDbEvalVariant(Adesk::Int32 value) : m_type(kInt32), m_int32(value) {}
    // A value of some other type code; readers see only the code.
    static AcDbEvalVariant ofOtherType(Adesk::Int16 typeCode)
    {
        AcDbEvalVariant v;
        v.m_type = typeCode;
        return v;
    }

    Adesk::Int16 getType() const { return m_type; }
    // Each gives eInvalidInput when the value is of another type.
    Acad::ErrorStatus getValue(AcString& text) const
    {
        return read(kText, [&] { text = m_text; });
    }
    Acad::ErrorStatus getValue(double& value) const
    {
        return read(kReal, [&] { value = m_real; });
    }
    Acad::ErrorStatus getValue(Adesk::Int16& value) const
    {
        return read(kInt16, [&] { value = m_int16; });
    }
    Acad::ErrorStatus getValue(Adesk::Int32& value) const
    {
        return read(kInt32, [&] { value = m_int32; });
    }

private:
    template <class F> Acad::ErrorStatus read(Adesk::Int16 type, F take) const
    {
        if (m_type != type)
            return Acad::eInvalidInput;
        take();
        return Acad::eOk;
    }

    Adesk::Int16 m_type = kNone;
    AcString m_text;
    double m_real = 0.0;
    Adesk::Int16 m_int16 = 0;
    Adesk::Int32 m_int32 = 0;
};
