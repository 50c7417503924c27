// The frame every evaluator of this module runs in: compile stores the field
// code under the evaluator's data key; evaluate reads it back, runs the
// evaluator's own computation and reports value and status to the host.
#pragma once

#include "host/AcFdEval.h"

#include <functional>

namespace frame {

// Evaluation statuses the computations give.
enum Status : int {
    kSuccess = 2,       // the value is set
    kInvalidCode = 16,  // the code or its data is not usable
    kOtherError = 64,   // the data is missing, or anything else failed
};

// A computation gives a status and, with kSuccess, the value.
using Computation = std::function<int(AcDbField* field, AcDbDatabase* database, AcFdFieldValue& value)>;

Acad::ErrorStatus compile(AcDbField* field, const ACHAR* dataKey, AcFdFieldResult* result);
Acad::ErrorStatus evaluate(AcDbField* field, AcDbDatabase* database, AcFdFieldResult* result,
                           const Computation& computation);

// The common start of a computation: the field's data under the key as text.
// Gives kSuccess, kOtherError when the data is missing, kInvalidCode when it
// is not text.
int readData(const AcDbField* field, const ACHAR* dataKey, AcString& text);

}
