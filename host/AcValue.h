// AcValue: a field's value, empty or one of a 32-bit integer, a real or a
// text. The host formats it for display; the module only sets and reads it.
#pragma once

#include "host/adesk.h"
#include "host/AcString.h"

#include <memory>

class AcValue {
public:
    // Data types, numbered as the host numbers them.
    enum DataType : int {
        kUnknown = 0,  // empty: nothing set
        kLong = 1,     // 32-bit integer
        kDouble = 2,   // real
        kString = 4,   // text
    };

    AcValue() = default;
    explicit AcValue(const ACHAR* text);
    virtual ~AcValue() = default;

    DataType dataType() const { return m_type; }
    bool isValid() const { return m_type != kUnknown; }
    void reset();

    bool set(Adesk::Int32 value);
    bool set(double value);
    bool set(const ACHAR* text);
    // Takes the text over without copying it (up to its first zero character).
    bool set(AcString&& text);
    bool set(const AcValue& other)
    {
        *this = other;
        return true;
    }

    bool get(Adesk::Int32& value) const;
    bool get(double& value) const;
    // The text stays owned by the value.
    bool get(const ACHAR*& text) const;
    bool get(AcString& text) const;

private:
    DataType m_type = kUnknown;
    Adesk::Int32 m_long = 0;
    double m_double = 0.0;
    // Shared, never changed: copies of a value (the field keeps one of what an
    // evaluator reports) do not copy a long text.
    std::shared_ptr<const AcString> m_text;
};

class AcFdFieldValue : public AcValue {
public:
    using AcValue::AcValue;
    AcFdFieldValue() = default;
};
