// The module-wide evaluation-pass flag: 1 between the host's begin and end
// of a field evaluation pass, else 0. The spreadsheet cell field keeps its
// session open only inside a pass, and block counts share what they read
// of the block table within one.
#pragma once

namespace evaluationpass {
int& flag();
// Counts the begins and ends of passes, so what a pass keeps for its
// fields is known to be its own.
unsigned long& number();
}
