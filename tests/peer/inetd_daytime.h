#pragma once
// The real Daytime peer of the tests: inetutils-inetd's built-in daytime
// service on 127.0.0.1 at a free high port. inetd finds its built-in services
// by their name in the services table, so it runs in a mount namespace of its
// own where a private copy of that table names the high port. Needs root
// (for the namespace); never the system's own service.
#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <string>

namespace netrove::test {

class InetdDaytime {
 public:
  InetdDaytime() = default;
  ~InetdDaytime();
  InetdDaytime(const InetdDaytime&) = delete;
  InetdDaytime& operator=(const InetdDaytime&) = delete;

  // Why the service cannot run here (inetd or unshare missing, not root);
  // empty when it can.
  static std::string Unavailable();
  // Starts inetd and waits until the port answers; false with `problem` set.
  bool Start(std::string& problem);
  std::uint16_t port() const { return port_; }

 private:
  std::filesystem::path folder_;
  pid_t pid_ = -1;
  std::uint16_t port_ = 0;
};

}  // namespace netrove::test
