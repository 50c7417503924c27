// AsdkBlockCountEvaluator: the "AcBlockCount" field, the number of block
// references that match a list of block names, narrowed by layer, by a window
// within one space and by an attribute or dynamic property, and widened on
// request to references nested in other blocks. Runs in the shared evaluator
// frame; the steps of the count are public so they can be tried one by one.
#pragma once

#include "host/AcFdEval.h"
#include "host/geometry.h"
#include "util/CStringArrayEx.h"

#include <optional>
#include <string_view>
#include <vector>

class AsdkBlockCountEvaluator : public AcFdFieldEvaluator {
public:
    static constexpr const ACHAR* kId = u"AcBlockCount";
    static constexpr const ACHAR* kDataKey = u"AcBlockCount Data";

    ~AsdkBlockCountEvaluator() override = default;
    Acad::ErrorStatus compile(AcDbField* field, AcDbDatabase* database, AcFdFieldResult* result) override;
    Acad::ErrorStatus evaluate(AcDbField* field, int context, AcDbDatabase* database, AcFdFieldResult* result) override;
    // The id this evaluator answers to.
    virtual const ACHAR* evaluatorIdText() const { return kId; }

    // The computation inside the frame: parses the stored code and counts in
    // the working drawing. Gives the evaluation status.
    static int evaluateCount(AcDbField* field, AcDbDatabase* database, AcFdFieldValue& value);
    // Walks the block table of the database (the working one when null).
    static Adesk::UInt32 countBlockReferences(const CStringArrayEx& blockNames, const CStringArrayEx& layerNames,
                                              std::u16string_view tag, std::u16string_view op,
                                              std::u16string_view value, const std::optional<AcDbExtents>& window,
                                              const std::optional<AcString>& space, bool nested,
                                              AcDbDatabase* database = nullptr);
    // The ids in referenceIds, other than currentId and the erased ones, of
    // block references owned by definitionId.
    static Adesk::UInt32 countNestedReferences(AcDbObjectId definitionId, AcDbObjectId currentId,
                                               const std::vector<AcDbObjectId>& referenceIds);
    // The object's handle in hexadecimal; empty when it cannot be opened.
    static AcString ownerHandleText(AcDbObjectId objectId);
    // "x,y,z" with optional parentheses; true when three parts are there.
    static bool parsePoint(std::u16string_view text, AcGePoint3d& point);
    // Compares an attribute or property text with the wanted one under the
    // operator (">=", "<=", ">", "<" by number, "!=" and anything else by text).
    static bool matchValue(std::u16string_view actual, std::u16string_view expected, std::u16string_view op);
};
