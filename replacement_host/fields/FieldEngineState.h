// What the field engine holds, for the host's own checks and tests.
#pragma once

#include "host/AcFdEval.h"

#include <vector>

const std::vector<AcFdFieldReactor*>& hostFieldReactors();
