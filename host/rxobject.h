// The host's runtime class system: every host object knows its class, and a
// class knows its parent, so an open can check "is this a line?" without RTTI
// crossing the plug-in boundary.
#pragma once

#include "host/adesk.h"

#include <string>

class AcRxClass {
public:
    AcRxClass(const ACHAR* name, AcRxClass* parent) : m_name(name), m_parent(parent) {}
    AcRxClass(const AcRxClass&) = delete;
    AcRxClass& operator=(const AcRxClass&) = delete;

    const ACHAR* name() const { return m_name.c_str(); }
    AcRxClass* myParent() const { return m_parent; }
    // Inline: every open and cast asks it, mostly of the object's own class.
    bool isDerivedFrom(const AcRxClass* other) const
    {
        for (const AcRxClass* c = this; c; c = c->m_parent)
            if (c == other)
                return true;
        return false;
    }

private:
    std::u16string m_name;
    AcRxClass* m_parent;
};

class AcRxObject {
public:
    virtual ~AcRxObject() = default;
    static AcRxClass* desc();
    virtual AcRxClass* isA() const;
    virtual AcRxObject* clone() const { return nullptr; }
    bool isKindOf(const AcRxClass* cls) const { return cls && isA()->isDerivedFrom(cls); }
};

// Declares the class-system members of a host class.
#define ACRX_DECLARE_MEMBERS(CLASS)                                                                                    \
public:                                                                                                                \
    static AcRxClass* desc();                                                                                          \
    AcRxClass* isA() const override;                                                                                   \
    static CLASS* cast(AcRxObject* obj) { return obj && obj->isKindOf(desc()) ? static_cast<CLASS*>(obj) : nullptr; }  \
    static const CLASS* cast(const AcRxObject* obj)                                                                    \
    {                                                                                                                  \
        return obj && obj->isKindOf(desc()) ? static_cast<const CLASS*>(obj) : nullptr;                                \
    }

// Made once, out of line: desc() is asked by every open and cast, and with
// the class built in place its common path saved and restored five registers.
template <class CLASS> [[gnu::noinline]] AcRxClass* acrxMakeClass(const ACHAR* name, AcRxClass* parent)
{
    static AcRxClass cls(name, parent);
    return &cls;
}

// Defines them; used in the host's implementation files only.
#define ACRX_DEFINE_MEMBERS(CLASS, PARENT)                                                                             \
    AcRxClass* CLASS::desc()                                                                                           \
    {                                                                                                                  \
        static AcRxClass* const cls = acrxMakeClass<CLASS>(u"" #CLASS, PARENT::desc());                                \
        return cls;                                                                                                    \
    }                                                                                                                  \
    AcRxClass* CLASS::isA() const { return desc(); }
