#pragma once
// Network namespaces built by a test and always removed: a chain of
// namespaces joined by veth pairs, for routes of several hops with 10.x
// addresses that exist nowhere else. The test's own thread can step into one
// of them; threads it starts there stay there.
#include <string>
#include <vector>

namespace netrove::test {

class NetnsLab {
 public:
  // Creates one namespace per role (names made unique with the process id),
  // with loopback up and ICMP error rate limiting off.
  explicit NetnsLab(const std::vector<std::string>& roles);
  ~NetnsLab();
  NetnsLab(const NetnsLab&) = delete;
  NetnsLab& operator=(const NetnsLab&) = delete;

  bool ok() const { return ok_; }
  std::string name(const std::string& role) const;
  // Runs `command` (an `ip` or `sysctl` command line) inside the role's
  // namespace; false and ok() false when it fails.
  bool Exec(const std::string& role, const std::string& command);
  // A veth pair from role a (address addressA, "10.x.y.z/24") to role b.
  bool Link(const std::string& a, const std::string& addressA, const std::string& b,
            const std::string& addressB);

 private:
  std::vector<std::string> names_;
  std::vector<std::string> roles_;
  int links_ = 0;
  bool ok_ = true;
};

// The four-namespace chain client - r1 - r2 - server:
//   client 10.201.1.2  ->  r1 10.201.1.1 / 10.201.2.1  ->  r2 10.201.2.2 /
//   10.201.3.1  ->  server 10.201.3.2
// r1 knows no route beyond 10.201.0.0/16, has an "unreachable" route for
// 10.204.0.0/16 and a "prohibit" route for 10.205.0.0/16.
// The same over IPv6, the routers forwarding both:
//   client fd20:1::2  ->  r1 fd20:1::1 / fd20:2::1  ->  r2 fd20:2::2 /
//   fd20:3::1  ->  server fd20:3::2
// r1 knows no route beyond fd20::/16's three links, has an "unreachable"
// route for fd24::/16 and a "prohibit" route for fd25::/16.
class RoutedChain : public NetnsLab {
 public:
  RoutedChain();

 private:
  void AddIPv6();
};

// Moves the calling thread into a namespace of the lab until destroyed.
class ScopedNetns {
 public:
  explicit ScopedNetns(const std::string& namespaceName);
  ~ScopedNetns();
  ScopedNetns(const ScopedNetns&) = delete;
  ScopedNetns& operator=(const ScopedNetns&) = delete;
  bool ok() const { return ok_; }

 private:
  int original_ = -1;
  bool ok_ = false;
};

// Takes CAP_NET_RAW out of the calling thread's effective set until
// destroyed, so threads started meanwhile run as an unprivileged user would.
class ScopedWithoutRawSockets {
 public:
  ScopedWithoutRawSockets();
  ~ScopedWithoutRawSockets();
  ScopedWithoutRawSockets(const ScopedWithoutRawSockets&) = delete;
  ScopedWithoutRawSockets& operator=(const ScopedWithoutRawSockets&) = delete;
  bool ok() const { return ok_; }

 private:
  bool ok_ = false;
};

}  // namespace netrove::test
