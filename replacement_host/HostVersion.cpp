// The host's version; see the header.
#include "replacement_host/HostVersion.h"

namespace hostversion {
const char* hostVersion() { return TESSLY_VERSION ", built " __DATE__ " " __TIME__; }
}
