#pragma once
// The real Finger peer of the tests: the system's in.fingerd under a private
// inetutils-inetd, listening on 127.0.0.1 at a free high port, with its
// configuration in a temporary folder. Never the system's own service.
#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <string>

namespace netrove::test {

class FingerDaemon {
 public:
  FingerDaemon() = default;
  ~FingerDaemon();
  FingerDaemon(const FingerDaemon&) = delete;
  FingerDaemon& operator=(const FingerDaemon&) = delete;

  // Whether inetutils-inetd and in.fingerd are installed.
  static bool Installed();
  // Starts inetd with a configuration of its own and waits until the port
  // answers. False (with `problem` set) when it does not.
  bool Start(std::string& problem);
  std::uint16_t port() const { return port_; }

 private:
  std::filesystem::path folder_;
  pid_t pid_ = -1;
  std::uint16_t port_ = 0;
};

}  // namespace netrove::test
