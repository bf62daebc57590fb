// GoogleTest, Qt and the standard headers, for the tests of the windowed
// subsystems (see std.h).
#pragma once

#include "qt.h"
#include "test.h"
