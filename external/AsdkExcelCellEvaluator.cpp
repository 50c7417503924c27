// AsdkExcelCellEvaluator: see the header. The field code is
// path:worksheet:cell, split at its last two colons (the path may hold a
// drive colon). Within an evaluation pass the session and its workbooks stay
// open for the next field; outside one, or for a field not in a drawing, the
// session is closed after each read.
#include "external/AsdkExcelCellEvaluator.h"

#include "app/EvaluationPass.h"
#include "app/EvaluatorFrame.h"
#include "external/ChangeStamp.h"
#include "external/DrawingPath.h"
#include "external/ExcelSession.h"
#include "host/winnls.h"
#include "host/winpath.h"
#include "util/TextCase.h"

#include <exception>

namespace {

using excel::omitted;
using excel::variantOf;

constexpr ACHAR kNoBreakSpace[] = u"\u00A0";

void applyClosingRule(const AcDbField* field)
{
    if (!field->objectId().isValid() || evaluationpass::flag() == 0)
        ExcelSession::close();
}

excel::CWorkbook findOrOpen(const excel::CWorkbooks& workbooks, const AcString& path)
{
    Adesk::Int32 count = workbooks.GetCount();
    for (Adesk::Int32 i = 1; i <= count; ++i) {
        excel::CWorkbook workbook = workbooks.GetItem(variantOf(i));
        if (textcase::equalsIgnoreCase(workbook.GetFullName(), path))
            return workbook;
    }
    VARIANT one = variantOf(Adesk::Int32{1});
    return workbooks.Open(path.c_str(), one, one, omitted(), omitted(), omitted(), omitted(), omitted(), omitted(),
                          omitted(), omitted(), omitted(), omitted());
}

// Null when the workbook has no worksheet of that name.
excel::CWorksheet findWorksheet(const excel::CWorkbook& workbook, const AcString& name)
{
    excel::CWorksheets worksheets = workbook.GetWorksheets();
    Adesk::Int32 count = worksheets.GetCount();
    for (Adesk::Int32 i = 1; i <= count; ++i) {
        excel::CWorksheet worksheet = worksheets.GetItem(variantOf(i));
        AcString candidate = worksheet.GetName();
        // The platform's comparison folds every letter, not only ASCII ones.
        if (CompareStringOrdinal(candidate.c_str(), static_cast<int>(candidate.size()), name.c_str(),
                                 static_cast<int>(name.size()), 1) == CSTR_EQUAL)
            return worksheet;
    }
    return {};
}

int compute(AcDbField* field, AcFdFieldValue& value)
{
    AcString data;
    int status = frame::readData(field, AsdkExcelCellEvaluator::kDataKey, data);
    if (status != frame::kSuccess)
        return status;
    AsdkExcelCellEvaluator::CellCode code = AsdkExcelCellEvaluator::split(data);
    if (code.cell.empty() || code.worksheet.empty() || code.path.empty())
        return frame::kInvalidCode;

    AcString path;
    if (!drawingpath::locate(code.path, path))
        return frame::kInvalidCode;
    const AcString notFound = data + u" is not found.";
    if (!PathFileExistsW(path.c_str())) {
        ChangeStamp::showMissing(field, notFound, value);
        return frame::kSuccess;
    }
    ChangeStamp current = ChangeStamp::ofFile(path.c_str());
    if (ChangeStamp::keepUnchanged(field, current, value))
        return frame::kSuccess;

    if (!ExcelSession::isOpen() && !ExcelSession::open())
        return frame::kInvalidCode;

    try {
        excel::CWorkbook workbook = findOrOpen(ExcelSession::application().GetWorkbooks(), path);
        excel::CWorksheet worksheet = findWorksheet(workbook, code.worksheet);
        if (worksheet.isNull()) {
            applyClosingRule(field);
            ChangeStamp::showMissing(field, notFound, value);
            return frame::kSuccess;
        }
        VARIANT text = worksheet.GetRange(variantOf(code.cell.c_str()), omitted()).GetText();
        applyClosingRule(field);
        // Several cells that show different texts give no text: shown as empty.
        bool empty = text.vt != VT_BSTR || text.bstrVal.empty();
        value.set(empty ? kNoBreakSpace : text.bstrVal.c_str());
        ChangeStamp::store(field, current);
        return frame::kSuccess;
    } catch (const excel::AutomationError& e) {
        ExcelSession::report(e.raisedByApplication ? ExcelSession::kReadRaised : ExcelSession::kReadOther, e.message);
    } catch (const std::exception& e) {
        const char* what = e.what();
        ExcelSession::report(ExcelSession::kReadOther, AcString(what, what + std::char_traits<char>::length(what)));
    }
    ExcelSession::close();
    // Nothing was read: an error, not an empty success that would wipe the
    // field's value.
    return frame::kOtherError;
}

}

AsdkExcelCellEvaluator::CellCode AsdkExcelCellEvaluator::split(const AcString& code)
{
    CellCode parts;
    std::size_t last = code.rfind(u':');
    if (last == AcString::npos || last == 0)
        return parts;
    parts.cell = code.substr(last + 1);
    AcString rest = code.substr(0, last);
    std::size_t middle = rest.rfind(u':');
    if (middle == AcString::npos || middle == 0)
        return parts;
    parts.path = rest.substr(0, middle);
    parts.worksheet = rest.substr(middle + 1);
    return parts;
}

std::u16string AsdkExcelCellEvaluator::checkWorkbook(const AcString& path, const CellCode& code)
{
    bool wasOpen = ExcelSession::isOpen();
    if (!wasOpen && !ExcelSession::open())
        return u"the spreadsheet application cannot be started; the field fails with status 16";
    std::u16string finding;
    try {
        excel::CWorkbook workbook = findOrOpen(ExcelSession::application().GetWorkbooks(), path);
        excel::CWorksheet worksheet = findWorksheet(workbook, code.worksheet);
        if (worksheet.isNull())
            finding = u"the workbook has no worksheet named \"" + code.worksheet + u"\"; the field shows \"" +
                code.path + u":" + code.worksheet + u":" + code.cell + u" is not found.\"";
        else
            worksheet.GetRange(variantOf(code.cell.c_str()), omitted());
    } catch (const excel::AutomationError&) {
        finding = code.cell + u" is neither a cell address nor a name of the workbook; the field fails with status 64";
    } catch (const std::exception&) {
        finding = u"the workbook cannot be read; the field fails with status 64";
    }
    // A check leaves the application as it found it.
    if (!wasOpen)
        ExcelSession::close();
    return finding;
}

AsdkExcelCellEvaluator::AsdkExcelCellEvaluator() { ExcelSession::terminateMarkedInstance(); }

AsdkExcelCellEvaluator::~AsdkExcelCellEvaluator() { ExcelSession::quit(); }

Acad::ErrorStatus AsdkExcelCellEvaluator::compile(AcDbField* field, AcDbDatabase*, AcFdFieldResult* result)
{
    return frame::compile(field, kDataKey, result);
}

Acad::ErrorStatus AsdkExcelCellEvaluator::evaluate(AcDbField* field, int, AcDbDatabase* database,
                                                   AcFdFieldResult* result)
{
    return frame::evaluate(field, database, result,
                           [](AcDbField* f, AcDbDatabase*, AcFdFieldValue& value) { return compute(f, value); });
}
