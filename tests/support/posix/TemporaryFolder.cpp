#include "tests/support/TemporaryFolder.h"

#include <stdlib.h>

#include <filesystem>
#include <system_error>

std::string MakeTemporaryFolder() {
  std::error_code error;
  std::string pattern = (std::filesystem::temp_directory_path(error) / "solane-test-XXXXXX").string();
  if (error) pattern = "/tmp/solane-test-XXXXXX";
  return mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
}
