// The fields of a text-like object in a drawing file: made from the codes in
// its contents, with handles, data, value, status and extended data restored
// from the "fields" list when the file has one.
#pragma once

#include "host/AcValue.h"
#include "replacement_host/file/JsonIn.h"

#include <vector>

namespace drawingfile {
// Makes and adds the fields of the owner's contents; gives their ids in order.
std::vector<AcDbObjectId> attachFields(const JsonIn& in, AcDbObject* owner, std::u16string_view contents);
Json fieldsJson(const std::vector<AcDbObjectId>& fieldIds);
Json valueJson(const AcValue& value);
// Extended data of any object: "xdata": {"application name": "text"}.
void readXdata(const JsonIn& in, AcDbObject* object);
void writeXdata(const AcDbObject* object, Json& j);
AcValue valueFromJson(const JsonIn& in, JsonValue json);
}
