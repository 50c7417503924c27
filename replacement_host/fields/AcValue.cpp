// Field values: an empty value or one integer, real or text.
#include "host/AcValue.h"

AcValue::AcValue(const ACHAR* text) { set(text); }

void AcValue::reset() { *this = AcValue(); }

bool AcValue::set(Adesk::Int32 value)
{
    reset();
    m_type = kLong;
    m_long = value;
    return true;
}

bool AcValue::set(double value)
{
    reset();
    m_type = kDouble;
    m_double = value;
    return true;
}

bool AcValue::set(const ACHAR* text) { return set(AcString(text ? text : u"")); }

bool AcValue::set(AcString&& text)
{
    reset();
    m_type = kString;
    if (size_t zero = text.find(u'\0'); zero != AcString::npos)
        text.resize(zero);
    m_text = std::make_shared<const AcString>(std::move(text));
    return true;
}

bool AcValue::get(Adesk::Int32& value) const
{
    if (m_type != kLong)
        return false;
    value = m_long;
    return true;
}

bool AcValue::get(double& value) const
{
    if (m_type == kDouble)
        value = m_double;
    else if (m_type == kLong)
        value = m_long;
    else
        return false;
    return true;
}

bool AcValue::get(const ACHAR*& text) const
{
    if (m_type != kString)
        return false;
    text = m_text ? m_text->c_str() : u"";
    return true;
}

bool AcValue::get(AcString& text) const
{
    if (m_type != kString)
        return false;
    text = m_text ? *m_text : AcString();
    return true;
}
