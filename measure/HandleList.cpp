// Handle lists; see the header.
#include "measure/HandleList.h"

#include "app/EvaluatorFrame.h"
#include "host/acutads.h"
#include "util/CDelimTokenizer.h"
#include "util/TextCase.h"

namespace handlelist {

namespace {

constexpr std::u16string_view kKeyword = u"Object(";

}

bool resolve(const std::u16string& item, AcDbObjectId& id)
{
    ads_name name = {0, 0};
    if (acdbHandEnt(item.c_str(), name) != RTNORM)
        return false;
    return acdbGetObjectId(id, name) == Acad::eOk;
}

bool items(const std::u16string& code, std::vector<std::u16string>& out)
{
    out.clear();
    std::u16string_view s(code);
    if (!textcase::equalsIgnoreCase(s.substr(0, kKeyword.size()), kKeyword))
        return false;
    // Sets, not the keyword itself: this is what decides that object(<1A
    // stays one unresolvable item.
    size_t begin = s.find_first_not_of(u"Object");
    begin = begin == std::u16string_view::npos ? s.size() : begin;
    s.remove_prefix(begin);
    size_t afterOpen = s.find_first_not_of(u"(<");
    s.remove_prefix(afterOpen == std::u16string_view::npos ? s.size() : afterOpen);
    size_t lastKept = s.find_last_not_of(u">)");
    s = s.substr(0, lastKept == std::u16string_view::npos ? 0 : lastKept + 1);

    CDelimTokenizer tokens(s, u";");
    for (std::u16string item; tokens.next(item);)
        out.push_back(item);
    return true;
}

int sum(const AcDbField* field, const ACHAR* dataKey, const Accumulate& accumulate, AcFdFieldValue& value)
{
    AcString code;
    int status = frame::readData(field, dataKey, code);
    if (status != frame::kSuccess)
        return status;
    std::vector<std::u16string> list;
    if (!items(code, list))
        return frame::kInvalidCode;
    double total = 0.0;
    for (const std::u16string& item : list) {
        AcDbObjectId id;
        if (resolve(item, id))
            total = accumulate(total, id);
    }
    value.set(total);
    return frame::kSuccess;
}

}
