// The module-wide evaluation-pass flag: 1 between the host's begin and end
// of a field evaluation pass, else 0. The spreadsheet cell field keeps its
// session open only inside a pass.
#pragma once

namespace evaluationpass {
int& flag();
}
