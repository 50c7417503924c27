// AsdkExcelCellEvaluator: the "ExcelCell" field, the displayed text of a
// workbook cell or named range, read through the spreadsheet session. Runs
// in the shared evaluator frame; its own computation is private to its file.
// Built at module load, it ends a marked spreadsheet instance left running;
// destroyed, it quits the session.
#pragma once

#include "host/AcFdEval.h"

class AsdkExcelCellEvaluator : public AcFdFieldEvaluator {
public:
    static constexpr const ACHAR* kId = u"ExcelCell";
    static constexpr const ACHAR* kDataKey = u"ExcelCell Data";

    // "path:sheet:cell" split at the last two colons; a colon counts only
    // after the first character; what is not found stays empty.
    struct CellCode {
        AcString path;
        AcString worksheet;
        AcString cell;
    };
    static CellCode split(const AcString& code);
    // For a workbook that exists: whether it has the worksheet and the cell
    // or name, as the evaluation would find them; a finding, or empty.
    static std::u16string checkWorkbook(const AcString& path, const CellCode& code);

    AsdkExcelCellEvaluator();
    ~AsdkExcelCellEvaluator() override;
    Acad::ErrorStatus compile(AcDbField* field, AcDbDatabase* database, AcFdFieldResult* result) override;
    Acad::ErrorStatus evaluate(AcDbField* field, int context, AcDbDatabase* database, AcFdFieldResult* result) override;
    // The id this evaluator answers to.
    virtual const ACHAR* evaluatorIdText() const { return kId; }
};
