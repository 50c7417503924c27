// One codec per kind of object in a drawing file: how it is read and
// written. Each kind registers its own codec, so adding a kind is one file.
#pragma once

#include "replacement_host/file/JsonIn.h"

#include <functional>
#include <string>
#include <string_view>

namespace drawingfile {

struct ObjectCodec {
    // Who owns an object of this kind: the block table, the layer table, or
    // the object named by "owner" (model space when absent).
    enum class Owner { kBlockTable, kLayerTable, kObject };

    std::string type;      // the "type" text in the file
    const AcRxClass* cls;  // the class it writes; exact class, not subclasses
    Owner owner = Owner::kObject;
    // Builds the object from its own keys; references to other objects wait for link.
    std::function<AcDbObject*(const JsonIn&)> create;
    // Called once every object exists; may resolve handles to ids.
    std::function<void(const JsonIn&, AcDbObject*)> link;
    // Writes the keys of its own; type, handle, owner, layer and erased are written for it.
    std::function<void(const AcDbObject*, Json&)> write;
};

void registerCodec(ObjectCodec codec);
const ObjectCodec* codecForType(std::string_view type);
const ObjectCodec* codecForObject(const AcDbObject* object);

struct CodecRegistration {
    explicit CodecRegistration(ObjectCodec codec) { registerCodec(std::move(codec)); }
};

}
