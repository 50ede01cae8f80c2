// The platform layer moved to src/platform; this name stays only until the
// kit's main.cpp, rewritten elsewhere, includes platform/platform.h itself.
#pragma once

#include "platform/platform.h"
