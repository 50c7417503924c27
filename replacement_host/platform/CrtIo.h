// Test access to the file stand-ins of host/crtio.h: how many opens were
// asked for, so tests can prove a file was not read.
#pragma once

namespace crtio {
// Calls of _wopen since the process started, successful or not.
long openCount();
}
