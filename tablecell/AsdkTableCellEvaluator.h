// AsdkTableCellEvaluator: the "TableCell" field, the text of one cell of a drawing table. Runs in
// the shared evaluator frame; its own computation is private to its file.
#pragma once

#include "host/AcFdEval.h"

#include <string>
#include <vector>

class AsdkTableCellEvaluator : public AcFdFieldEvaluator {
public:
    static constexpr const ACHAR* kId = u"TableCell";
    static constexpr const ACHAR* kDataKey = u"TableCell Data";

    ~AsdkTableCellEvaluator() override = default;
    Acad::ErrorStatus compile(AcDbField* field, AcDbDatabase* database, AcFdFieldResult* result) override;
    Acad::ErrorStatus evaluate(AcDbField* field, int context, AcDbDatabase* database, AcFdFieldResult* result) override;
    // The table's handle and the text after the full stop of
    // "TABLE(<handle>).address", upper-cased; false when the code is not one.
    static bool splitReference(const AcString& data, std::vector<std::u16string>& groups);
    // The id this evaluator answers to.
    virtual const ACHAR* evaluatorIdText() const { return kId; }
};
