#pragma once
// Points NETROVE_HOME at a fresh temporary folder for the life of a test, so
// no test sees the user's settings or another test's files.
#include <filesystem>
#include <string>

namespace netrove::test {

class ScopedHome {
 public:
  ScopedHome();
  ~ScopedHome();
  ScopedHome(const ScopedHome&) = delete;
  ScopedHome& operator=(const ScopedHome&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
  std::string previous_;
  bool hadPrevious_ = false;
};

// True when the process may open raw sockets and create network namespaces.
bool IsPrivileged();
// Skips the test with a clear message when not privileged, or fails it when
// NETROVE_REQUIRE_PRIVILEGED=1. Use as: if (!RequirePrivilege()) return;
#define NETROVE_REQUIRE_PRIVILEGE()                                                         \
  do {                                                                                      \
    if (!::netrove::test::IsPrivileged()) {                                                 \
      if (::netrove::test::PrivilegeRequired()) {                                           \
        FAIL() << "needs root (raw sockets, namespaces) and NETROVE_REQUIRE_PRIVILEGED=1";  \
      }                                                                                     \
      GTEST_SKIP() << "needs root or CAP_NET_RAW/CAP_NET_ADMIN; run as root to include it"; \
    }                                                                                       \
  } while (0)
bool PrivilegeRequired();

}  // namespace netrove::test
