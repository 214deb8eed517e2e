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

std::atomic<IResolver*> g_resolverOverride{nullptr};

bool Fail(int winsockCode) {
  SetLastError(winsockCode);
  return false;
}

bool SystemHostByName(const std::string& name, HostEntry& out) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;  // one answer per address, not per socket type
  hints.ai_flags = AI_CANONNAME;
  addrinfo* answers = nullptr;
  const int result = getaddrinfo(name.c_str(), nullptr, &hints, &answers);
  if (result != 0) return Fail(WinsockErrorFromResolver(result));
  const std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> owner(answers, freeaddrinfo);

  HostEntry entry;
  entry.name = answers->ai_canonname != nullptr ? answers->ai_canonname : name;
  for (const addrinfo* answer = answers; answer != nullptr; answer = answer->ai_next) {
    if (answer->ai_family != AF_INET || answer->ai_addrlen < sizeof(sockaddr_in)) continue;
    sockaddr_in address;
    std::memcpy(&address, answer->ai_addr, sizeof address);
    const bool known =
        std::any_of(entry.addresses.begin(), entry.addresses.end(),
                    [&](const in_addr& a) { return a.s_addr == address.sin_addr.s_addr; });
    if (!known) entry.addresses.push_back(address.sin_addr);
  }
  if (entry.addresses.empty()) return Fail(WSANO_DATA);
  out = std::move(entry);
  return true;
}

bool SystemHostByAddr(const sockaddr_in& address, HostEntry& out) {
  sockaddr_in query{};
  query.sin_family = address.sin_family;
  query.sin_addr = address.sin_addr;
  char name[NI_MAXHOST] = {};
  const int result = getnameinfo(reinterpret_cast<const sockaddr*>(&query), sizeof query, name,
                                 sizeof name, nullptr, 0, NI_NAMEREQD);
  if (result != 0) return Fail(WinsockErrorFromResolver(result));
  HostEntry entry;
  entry.name = name;
  entry.addressType = address.sin_family;
  entry.addresses.push_back(address.sin_addr);
  out = std::move(entry);
  return true;
}

}  // namespace

ScopedResolverOverride::ScopedResolverOverride(IResolver& resolver)
    : previous_(g_resolverOverride.exchange(&resolver)) {}

ScopedResolverOverride::~ScopedResolverOverride() { g_resolverOverride.store(previous_); }

bool GetHostByName(const std::string& name, HostEntry& out) {
  IResolver* resolver = g_resolverOverride.load();
  if (resolver == nullptr) return SystemHostByName(name, out);
  int error = 0;
  return resolver->HostByName(name, out, error) || Fail(error);
}

bool GetHostByAddr(const sockaddr_in& address, HostEntry& out) {
  IResolver* resolver = g_resolverOverride.load();
  if (resolver == nullptr) return SystemHostByAddr(address, out);
  int error = 0;
  return resolver->HostByAddr(address.sin_addr, out, error) || Fail(error);
}

bool GetServByName(ServiceEntry& out, const std::string& service, const std::string& protocol) {
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
  if (result != 0) return Fail(WinsockErrorFromErrno(result));
  if (found == nullptr) return Fail(WSANO_DATA);

  ServiceEntry copy;
  copy.name = entry.s_name;
  for (char** alias = entry.s_aliases; alias != nullptr && *alias != nullptr; ++alias) {
    copy.aliases.emplace_back(*alias);
  }
  copy.port = static_cast<std::uint16_t>(entry.s_port);
  copy.protocol = entry.s_proto != nullptr ? entry.s_proto : "";
  out = std::move(copy);
  return true;
}

bool GetHostName(std::string& out) {
  char name[256] = {};
  // A name that fills the buffer need not be terminated: the last byte stays 0.
  if (gethostname(name, sizeof name - 1) != 0) return Fail(WinsockErrorFromErrno(errno));
  out = name;
  return true;
}

bool InetNtoa(std::string& out, in_addr address) {
  char text[INET_ADDRSTRLEN] = {};
  if (inet_ntop(AF_INET, &address, text, sizeof text) == nullptr) {
    out.clear();
    return Fail(WinsockErrorFromErrno(errno));
  }
  out = text;
  return true;
}

std::uint32_t InetAddr(const std::string& text) { return inet_addr(text.c_str()); }

}  // namespace netrove
