#include "support/scoped_home.h"

#include <unistd.h>

#include <cstdlib>
#include <stdexcept>
#include <thread>

namespace netrove::test {

ScopedHome::ScopedHome() {
  std::string pattern = (std::filesystem::temp_directory_path() / "netrove-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
  if (const char* old = std::getenv("NETROVE_HOME")) {
    previous_ = old;
    hadPrevious_ = true;
  }
  setenv("NETROVE_HOME", path_.c_str(), 1);
}

ScopedHome::~ScopedHome() {
  if (hadPrevious_) {
    setenv("NETROVE_HOME", previous_.c_str(), 1);
  } else {
    unsetenv("NETROVE_HOME");
  }
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds deadline) {
  const auto end = std::chrono::steady_clock::now() + deadline;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

bool IsPrivileged() { return geteuid() == 0; }

bool PrivilegeRequired() {
  const char* value = std::getenv("NETROVE_REQUIRE_PRIVILEGED");
  return value != nullptr && std::string(value) == "1";
}

}  // namespace netrove::test
