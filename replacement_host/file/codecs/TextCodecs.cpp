// Drawing-file codecs of texts; the field codes in their contents become
// fields, with the saved state in "fields".
#include "host/dbtext.h"
#include "replacement_host/HostAccess.h"
#include "replacement_host/file/FieldState.h"
#include "replacement_host/file/ObjectCodec.h"
#include <nlohmann/json.hpp>
#include <memory>

namespace drawingfile {
namespace {

template <class T> AcDbObject* createText(const JsonIn& in)
{
    auto text = std::make_unique<T>();
    HostAccess::hostSetMakesOwnFields(*text, false);
    // Taken whole, not copied; a zero ends it, as it ends the text setTextString takes.
    HostAccess::hostTakeContents(*text, in.textToZero("text"));
    text->setPosition(in.point("position", {}));
    text->setHeight(in.number("height", 2.5));
    return text.release();
}

void linkText(const JsonIn& in, AcDbObject* obj)
{
    auto* text = AcDbText::cast(obj);
    HostAccess::hostSetFields(*text, attachFields(in, text, HostAccess::hostContents(*text)));
    HostAccess::hostSetMakesOwnFields(*text, true);
}

void writeText(const AcDbObject* obj, Json& j)
{
    auto* text = AcDbText::cast(obj);
    j["text"] = utf8(text->textStringConst());
    j["position"] = pointJson(text->position());
    j["height"] = text->height();
    if (!text->fieldIds().empty())
        j["fields"] = fieldsJson(text->fieldIds());
}

const CodecRegistration text({"text", AcDbText::desc(), ObjectCodec::Owner::kObject, createText<AcDbText>, linkText,
                              writeText});
const CodecRegistration mtext({"mtext", AcDbMText::desc(), ObjectCodec::Owner::kObject, createText<AcDbMText>, linkText,
                               writeText});

}
}
