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

    AsdkExcelCellEvaluator();
    ~AsdkExcelCellEvaluator() override;
    Acad::ErrorStatus compile(AcDbField* field, AcDbDatabase* database, AcFdFieldResult* result) override;
    Acad::ErrorStatus evaluate(AcDbField* field, int context, AcDbDatabase* database, AcFdFieldResult* result) override;
    // The id this evaluator answers to.
    virtual const ACHAR* evaluatorIdText() const { return kId; }
};
