#include "base/recent_hosts.h"

#include <algorithm>

#include "base/settings_store.h"

namespace netrove {
namespace {

constexpr std::string_view kRecentHostsValue = "RecentHosts";
// A DNS name is at most 253 characters; ":65535" and brackets fit besides.
constexpr std::size_t kHostTextLimit = 270;

bool CouldBeHost(std::string_view host) {
  if (host.empty() || host.size() > kHostTextLimit) return false;
  return std::none_of(host.begin(), host.end(),
                      [](char c) { return static_cast<unsigned char>(c) <= ' ' || c == 0x7F; });
}

}  // namespace

std::vector<std::string> WithRecentHost(std::vector<std::string> hosts, std::string_view host) {
  if (!CouldBeHost(host)) return hosts;
  std::erase(hosts, host);
  hosts.insert(hosts.begin(), std::string(host));
  if (hosts.size() > kRecentHostLimit) hosts.resize(kRecentHostLimit);
  return hosts;
}

std::vector<std::string> ReadRecentHosts(std::string_view toolKey) {
  std::vector<std::string> hosts;
  const auto key = OpenToolKey(toolKey, false);
  std::string stored;
  if (!key || !key->ReadText(kRecentHostsValue, stored)) return hosts;
  // Stored as one line, separated by blanks, which no host contains; what
  // another program wrote there is checked like a typed host.
  std::size_t start = 0;
  while (start < stored.size() && hosts.size() < kRecentHostLimit) {
    const std::size_t end = std::min(stored.find(' ', start), stored.size());
    const std::string_view host = std::string_view(stored).substr(start, end - start);
    if (CouldBeHost(host) && std::find(hosts.begin(), hosts.end(), host) == hosts.end()) {
      hosts.emplace_back(host);
    }
    start = end + 1;
  }
  return hosts;
}

bool RememberRecentHost(std::string_view toolKey, std::string_view host) {
  const std::vector<std::string> hosts = WithRecentHost(ReadRecentHosts(toolKey), host);
  std::string stored;
  for (const std::string& entry : hosts) {
    if (!stored.empty()) stored += ' ';
    stored += entry;
  }
  auto key = CreateToolKey(toolKey);
  return key && key->WriteText(kRecentHostsValue, stored);
}

}  // namespace netrove
