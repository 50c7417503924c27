// The codec registry; see the header.
#include "replacement_host/file/ObjectCodec.h"

#include <map>

namespace drawingfile {

namespace {
std::map<std::string, ObjectCodec, std::less<>>& byType()
{
    static std::map<std::string, ObjectCodec, std::less<>> codecs;
    return codecs;
}
}

void registerCodec(ObjectCodec codec) { byType()[codec.type] = std::move(codec); }

const ObjectCodec* codecForType(std::string_view type)
{
    auto it = byType().find(type);
    return it == byType().end() ? nullptr : &it->second;
}

const ObjectCodec* codecForObject(const AcDbObject* object)
{
    for (auto& [type, codec] : byType())
        if (object->isA() == codec.cls)
            return &codec;
    return nullptr;
}

}
