#include <stdlib.h>

#include "tests/support/ScopedEnvironment.h"

// The C runtime's copy and the system's both change, so getenv and started programs agree. An
// empty value removes the variable: Windows keeps no empty ones this way.
void SetEnvironmentValue(const std::string& name, const std::optional<std::string>& value) {
  _putenv_s(name.c_str(), value ? value->c_str() : "");
}
