// Host and service look-ups. Only the re-entrant resolver calls are used and
// every answer is copied into values the caller owns: the classic calls hand
// out storage that the next look-up on any thread overwrites.
#include <arpa/inet.h>
#include <netdb.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include "base/net_socket.h"

namespace netrove {
namespace {

class CSystemResolver : public IResolver {
 public:
  SocketStatus HostByName(const std::string& name, HostEntry& out) override {
    return GetHostByName(name, out);
  }
  SocketStatus HostByAddr(const SocketAddress& address, HostEntry& out) override {
    return GetHostByAddr(address, out);
  }
};

}  // namespace

IResolver& SystemResolver() {
  static CSystemResolver resolver;
  return resolver;
}

std::optional<in_addr> FirstIPv4(const HostEntry& entry) {
  for (const SocketAddress& address : entry.addresses) {
    if (address.isIPv4()) return address.ipv4();
  }
  return std::nullopt;
}

std::size_t IPv4Count(const HostEntry& entry) {
  return static_cast<std::size_t>(std::count_if(entry.addresses.begin(), entry.addresses.end(),
                                                [](const SocketAddress& a) { return a.isIPv4(); }));
}

SocketStatus GetHostByName(const std::string& name, HostEntry& out) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;  // one answer per address, not per socket type
  hints.ai_flags = AI_CANONNAME;
  addrinfo* answers = nullptr;
  const int result = getaddrinfo(name.c_str(), nullptr, &hints, &answers);
  if (result != 0) return {WinsockErrorFromResolver(result)};
  const std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> owner(answers, freeaddrinfo);

  HostEntry entry;
  entry.name = answers->ai_canonname != nullptr ? answers->ai_canonname : name;
  for (const addrinfo* answer = answers; answer != nullptr; answer = answer->ai_next) {
    const SocketAddress address = SocketAddress::FromSockaddr(answer->ai_addr, answer->ai_addrlen);
    if (address.family() != AF_INET && address.family() != AF_INET6) continue;
    // The hosts file may name an address twice.
    if (std::find(entry.addresses.begin(), entry.addresses.end(), address) == entry.addresses.end())
      entry.addresses.push_back(address);
  }
  if (entry.addresses.empty()) return {WSANO_DATA};
  out = std::move(entry);
  return {};
}

SocketStatus GetHostByAddr(const SocketAddress& address, HostEntry& out) {
  SocketAddress query = address;
  query.setPort(0);
  char name[NI_MAXHOST] = {};
  const int result =
      getnameinfo(query.data(), query.length(), name, sizeof name, nullptr, 0, NI_NAMEREQD);
  if (result != 0) return {WinsockErrorFromResolver(result)};
  HostEntry entry;
  entry.name = name;
  entry.addresses.push_back(query);
  out = std::move(entry);
  return {};
}

SocketStatus GetServByName(ServiceEntry& out, const std::string& service,
                           const std::string& protocol) {
  servent entry{};
  servent* found = nullptr;
  std::vector<char> storage(1024);
  int result;
  // ERANGE asks for more room; the database lines are short, so this ends.
  while ((result = getservbyname_r(service.c_str(), protocol.empty() ? nullptr : protocol.c_str(),
                                   &entry, storage.data(), storage.size(), &found)) == ERANGE &&
         storage.size() < 65536) {
    storage.resize(storage.size() * 2);
  }
  if (result != 0) return {WinsockErrorFromErrno(result)};
  if (found == nullptr) return {WSANO_DATA};

  ServiceEntry copy;
  copy.name = entry.s_name;
  for (char** alias = entry.s_aliases; alias != nullptr && *alias != nullptr; ++alias) {
    copy.aliases.emplace_back(*alias);
  }
  copy.port = static_cast<std::uint16_t>(entry.s_port);
  copy.protocol = entry.s_proto != nullptr ? entry.s_proto : "";
  out = std::move(copy);
  return {};
}

SocketStatus GetHostName(std::string& out) {
  char name[256] = {};
  // A name that fills the buffer need not be terminated: the last byte stays 0.
  if (gethostname(name, sizeof name - 1) != 0) return {WinsockErrorFromErrno(errno)};
  out = name;
  return {};
}

std::string InetNtoa(in_addr address) { return SocketAddress::FromIPv4(address).text(); }

std::uint32_t InetAddr(const std::string& text) { return inet_addr(text.c_str()); }

}  // namespace netrove
