#include "support/scoped_home.h"

#include <unistd.h>

#include <cstdlib>
#include <stdexcept>

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

bool IsPrivileged() { return geteuid() == 0; }

bool PrivilegeRequired() {
  const char* value = std::getenv("NETROVE_REQUIRE_PRIVILEGED");
  return value != nullptr && std::string(value) == "1";
}

}  // namespace netrove::test
