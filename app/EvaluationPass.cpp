// The evaluation-pass flag; see the header.
#include "app/EvaluationPass.h"

namespace evaluationpass {
int& flag()
{
    static int value = 0;
    return value;
}
}
