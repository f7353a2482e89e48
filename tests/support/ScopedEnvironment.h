#pragma once
// Sets (or, given nothing, removes) an environment variable for the life of the object and puts
// back what was there before.

#include <cstdlib>
#include <optional>
#include <string>

// Sets `name` to `value` in this process's environment, which programs it starts inherit; nothing
// removes the variable. Each system has its own (tests/support/<system>/).
void SetEnvironmentValue(const std::string& name, const std::optional<std::string>& value);

class ScopedEnvironment {
 public:
  ScopedEnvironment(std::string name, const std::optional<std::string>& value) : name_(std::move(name)) {
    if (const char* current = std::getenv(name_.c_str())) previous_ = current;
    Set(value);
  }
  ~ScopedEnvironment() { Set(previous_); }
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

 private:
  void Set(const std::optional<std::string>& value) const { SetEnvironmentValue(name_, value); }

  std::string name_;
  std::optional<std::string> previous_;
};
