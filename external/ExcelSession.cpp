// The spreadsheet session; see the header. Until the automation layer is
// built no session is ever opened, so there is nothing to close or end.
#include "external/ExcelSession.h"

void ExcelSession::close() {}

void ExcelSession::terminateMarkedInstance() {}
