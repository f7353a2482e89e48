#pragma once
// Older tests reach ScopedEnvironment through this name; new tests include the support header.

#include "tests/support/ScopedEnvironment.h"

namespace testing_support {
using ::ScopedEnvironment;
}
