// A host header that reaches into the module.
#include "app/CTesslyEvalApp.h"
