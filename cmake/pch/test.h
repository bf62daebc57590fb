// GoogleTest and the standard headers, for the test programs (see std.h).
#pragma once

#include "std.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
