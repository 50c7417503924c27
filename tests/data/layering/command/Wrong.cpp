// The command using a module helper.
#include "util/Utf8.h"
