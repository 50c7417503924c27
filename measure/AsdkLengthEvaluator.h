// AsdkLengthEvaluator: the "AcLength" field, the summed length of the objects a handle list names. Runs in
// the shared evaluator frame; the four measures each open one object for read with a class check and close
// it before they return.
#pragma once

#include "host/AcFdEval.h"

class AsdkLengthEvaluator : public AcFdFieldEvaluator {
public:
    static constexpr const ACHAR* kId = u"AcLength";
    static constexpr const ACHAR* kDataKey = u"AcLength Data";
    // The circle's length factor, this exact number rather than a full-precision 2π.
    static constexpr double kTwoPi = 6.28318530718;

    ~AsdkLengthEvaluator() override = default;
    Acad::ErrorStatus compile(AcDbField* field, AcDbDatabase* database, AcFdFieldResult* result) override;
    Acad::ErrorStatus evaluate(AcDbField* field, int context, AcDbDatabase* database, AcFdFieldResult* result) override;
    // The id this evaluator answers to.
    virtual const ACHAR* evaluatorIdText() const { return kId; }

    // Each gives 0 for an object that does not open as its class.
    static double lineLength(AcDbObjectId id);
    static double circleLength(AcDbObjectId id);
    static double arcLength(AcDbObjectId id);
    static double polylineLength(AcDbObjectId id);
};
