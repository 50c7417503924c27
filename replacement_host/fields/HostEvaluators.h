// The evaluators the host brings itself ("AcObjProp"), behind one loader
// that the field engine asks last.
#pragma once

#include "host/AcFdEval.h"

AcFdFieldEvaluatorLoader* hostEvaluatorLoader();
