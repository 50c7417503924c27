// The DXF source kept with a drawing; see the header.
#include "replacement_host/dxf/DxfSource.h"
#include "replacement_host/HostAccess.h"

namespace dxf {

const Source* sourceOf(const AcDbDatabase& db) { return dynamic_cast<const Source*>(HostAccess::hostFileSource(db)); }

const Holder* Source::holderOf(const AcDbField& field) const
{
    auto it = holderOfField.find(field.objectId().asOldId());
    return it == holderOfField.end() ? nullptr : &holders[it->second];
}

const FileField* Source::fileField(const AcDbField& field) const
{
    const Holder* holder = holderOf(field);
    if (!holder)
        return nullptr;
    for (const FileField& f : holder->fields)
        if (f.id == field.objectId())
            return &f;
    return nullptr;
}

}
