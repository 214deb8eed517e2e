#include "diagnostics/netns_lab.h"

#include <fcntl.h>
#include <linux/capability.h>
#include <sched.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <iostream>

namespace netrove::test {
namespace {

bool Shell(const std::string& command) {
  const int status = std::system((command + " >/dev/null 2>&1").c_str());
  if (status != 0) std::cerr << "netns lab: failed: " << command << "\n";
  return status == 0;
}

bool SetNetRawEffective(bool on) {
  __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct data[2]{};
  if (syscall(SYS_capget, &header, data) != 0) return false;
  const unsigned bit = 1u << CAP_NET_RAW;
  if (on) {
    data[0].effective |= bit;
  } else {
    data[0].effective &= ~bit;
  }
  return syscall(SYS_capset, &header, data) == 0;
}

}  // namespace

NetnsLab::NetnsLab(const std::vector<std::string>& roles) : roles_(roles) {
  for (const auto& role : roles) {
    names_.push_back("nrping" + std::to_string(getpid()) + role);
    ok_ = ok_ && Shell("ip netns add " + names_.back());
    ok_ = ok_ && Exec(role, "ip link set lo up");
    ok_ = ok_ && Exec(role, "sysctl -w net.ipv4.icmp_ratelimit=0");
    ok_ = ok_ && Exec(role, "sysctl -w net.ipv6.icmp.ratelimit=0");
    // Addresses are usable at once, not after a second of duplicate detection.
    ok_ = ok_ && Exec(role, "sysctl -w net.ipv6.conf.default.accept_dad=0");
  }
}

NetnsLab::~NetnsLab() {
  for (const auto& name : names_) Shell("ip netns del " + name);
}

std::string NetnsLab::name(const std::string& role) const {
  const auto at = std::find(roles_.begin(), roles_.end(), role);
  return at == roles_.end() ? std::string() : names_[static_cast<std::size_t>(at - roles_.begin())];
}

bool NetnsLab::Exec(const std::string& role, const std::string& command) {
  ok_ = Shell("ip netns exec " + name(role) + " " + command) && ok_;
  return ok_;
}

bool NetnsLab::Link(const std::string& a, const std::string& addressA, const std::string& b,
                    const std::string& addressB) {
  // Both ends are made inside the namespaces, so the host never sees them.
  const std::string end = std::string("v").append(std::to_string(links_++));
  return Exec(a, "ip link add " + end + "a type veth peer name " + end + "b netns " + name(b)) &&
         Exec(a, "ip addr add " + addressA + " dev " + end + "a") &&
         Exec(a, "ip link set " + end + "a up") &&
         Exec(b, "ip addr add " + addressB + " dev " + end + "b") &&
         Exec(b, "ip link set " + end + "b up");
}

RoutedChain::RoutedChain() : NetnsLab({"client", "r1", "r2", "server"}) {
  Link("client", "10.201.1.2/24", "r1", "10.201.1.1/24");
  Link("r1", "10.201.2.1/24", "r2", "10.201.2.2/24");
  Link("r2", "10.201.3.1/24", "server", "10.201.3.2/24");
  Exec("r1", "sysctl -w net.ipv4.ip_forward=1");
  Exec("r2", "sysctl -w net.ipv4.ip_forward=1");
  Exec("client", "ip route add default via 10.201.1.1");
  Exec("r1", "ip route add 10.201.3.0/24 via 10.201.2.2");
  Exec("r1", "ip route add unreachable 10.204.0.0/16");
  Exec("r1", "ip route add prohibit 10.205.0.0/16");
  Exec("r2", "ip route add default via 10.201.2.1");
  Exec("server", "ip route add default via 10.201.3.1");
  AddIPv6();
}

void RoutedChain::AddIPv6() {
  const struct {
    const char* role;
    const char* device;
    const char* address;
  } addresses[] = {{"client", "v0a", "fd20:1::2/64"}, {"r1", "v0b", "fd20:1::1/64"},
                   {"r1", "v1a", "fd20:2::1/64"},     {"r2", "v1b", "fd20:2::2/64"},
                   {"r2", "v2a", "fd20:3::1/64"},     {"server", "v2b", "fd20:3::2/64"}};
  for (const auto& item : addresses)
    Exec(item.role,
         std::string("ip -6 addr add ") + item.address + " dev " + item.device + " nodad");
  Exec("r1", "sysctl -w net.ipv6.conf.all.forwarding=1");
  Exec("r2", "sysctl -w net.ipv6.conf.all.forwarding=1");
  Exec("client", "ip -6 route add default via fd20:1::1");
  Exec("r1", "ip -6 route add fd20:3::/64 via fd20:2::2");
  Exec("r1", "ip -6 route add unreachable fd24::/16");
  Exec("r1", "ip -6 route add prohibit fd25::/16");
  Exec("r2", "ip -6 route add default via fd20:2::1");
  Exec("server", "ip -6 route add default via fd20:3::1");
}

ScopedNetns::ScopedNetns(const std::string& namespaceName) {
  original_ = open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
  const int target = open(("/run/netns/" + namespaceName).c_str(), O_RDONLY | O_CLOEXEC);
  ok_ = original_ >= 0 && target >= 0 && setns(target, CLONE_NEWNET) == 0;
  if (target >= 0) close(target);
}

ScopedNetns::~ScopedNetns() {
  if (original_ < 0) return;
  if (ok_) setns(original_, CLONE_NEWNET);
  close(original_);
}

ScopedWithoutRawSockets::ScopedWithoutRawSockets() : ok_(SetNetRawEffective(false)) {}

ScopedWithoutRawSockets::~ScopedWithoutRawSockets() {
  if (ok_) SetNetRawEffective(true);
}

}  // namespace netrove::test
