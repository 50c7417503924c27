// Texts: a single-line text and a paragraph text. Their contents may hold
// field codes; each top-level code is a field owned by the text.
#pragma once

#include "host/dbmain.h"
#include "host/geometry.h"

class AcDbText : public AcDbEntity {
    ACRX_DECLARE_MEMBERS(AcDbText)
public:
    // The contents as written, field codes included.
    const ACHAR* textStringConst() const { return m_contents.c_str(); }
    // A copy of the contents with every field shown by its value.
    ACHAR* textString() const;
    Acad::ErrorStatus setTextString(const ACHAR* text);

    const AcGePoint3d& position() const { return m_position; }
    void setPosition(const AcGePoint3d& p) { m_position = p; }
    double height() const { return m_height; }
    void setHeight(double h) { m_height = h; }

    // The fields of the contents, in order of appearance.
    const std::vector<AcDbObjectId>& fieldIds() const { return m_fields; }
    void subAddedToDatabase() override;

protected:
    bool hostGetProperty(std::u16string_view name, AcValue& value) const override;

private:
    // Host bookkeeping, reached through the replacement host's HostAccess only.
    friend struct HostAccess;
    void hostAddField(AcDbObjectId id) { m_fields.push_back(id); }
    void hostSetFields(std::vector<AcDbObjectId> ids) { m_fields = std::move(ids); }
    // The drawing reader's contents, taken whole, before the text is added.
    void hostTakeContents(AcString text) { m_contents = std::move(text); }
    // The drawing reader makes the fields itself, with their saved state.
    void hostSetMakesOwnFields(bool value) { m_makesOwnFields = value; }
    void makeFields();
    bool m_makesOwnFields = true;
    AcString m_contents;
    AcGePoint3d m_position;
    double m_height = 2.5;
    std::vector<AcDbObjectId> m_fields;
};

class AcDbMText : public AcDbText {
    ACRX_DECLARE_MEMBERS(AcDbMText)
public:
    const ACHAR* contents() const { return textStringConst(); }
};
