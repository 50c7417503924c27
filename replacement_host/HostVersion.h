// The replacement host's version and build, for tessly --version. One
// interface: hostVersion().
#pragma once

namespace hostversion {
const char* hostVersion();
}
