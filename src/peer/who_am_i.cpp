#include "peer/who_am_i.h"

#include <netdb.h>
#include <pwd.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>

#include "base/net_socket.h"

namespace netrove {
namespace {

const std::string kUnknown = "Unknown";

class CSystemAccountNames : public IAccountNames {
 public:
  std::optional<std::string> DomainName() override {
    utsname names{};
    if (uname(&names) != 0) return std::nullopt;
    const std::string domain = names.domainname;
    if (domain.empty() || domain == "(none)") return std::nullopt;
    return domain;
  }
  std::optional<std::string> UserName() override {
    std::array<char, 4096> buffer{};
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) != 0 ||
        found == nullptr) {
      return std::nullopt;
    }
    return std::string(found->pw_name);
  }
  std::optional<std::string> ComputerName() override {
    utsname names{};
    if (uname(&names) != 0 || names.nodename[0] == '\0') return std::nullopt;
    return std::string(names.nodename);
  }
  std::optional<std::string> HostName() override {
    std::string name;
    if (!GetHostName(name)) return std::nullopt;
    return name;
  }
};

// Built by appending: GCC 12 at -O2 takes "literal" + string for an
// overlapping copy.
void AddNameLine(std::string& text, const char* label, const std::optional<std::string>& value) {
  text.append(label).append(value ? *value : kUnknown).append("\n\n");
}

void AddHostLines(std::string& text, const std::string& hostName, const HostEntry& entry) {
  text.append(hostName.substr(0, hostName.find('.'))).append("\n\n");
  text.append("Official Host Name: ").append(entry.name);
  for (const std::string& alias : entry.aliases) text.append("\n\nAlias: ").append(alias);
  text.append("\n");
  for (const SocketAddress& address : entry.addresses) {
    text.append("\nInternet Address: ").append(address.text());
  }
}

}  // namespace

IAccountNames& SystemAccountNames() {
  static CSystemAccountNames names;
  return names;
}

std::vector<std::string> SystemHostAliases(const std::string& name) {
  std::vector<std::string> aliases;
  for (const int family : {AF_INET, AF_INET6}) {
    hostent entry{};
    hostent* found = nullptr;
    int error = 0;
    std::vector<char> storage(2048);
    int result;
    // ERANGE asks for more room; a bounded buffer ends the loop.
    while ((result = gethostbyname2_r(name.c_str(), family, &entry, storage.data(), storage.size(),
                                      &found, &error)) == ERANGE &&
           storage.size() < 65536) {
      storage.resize(storage.size() * 2);
    }
    if (result != 0 || found == nullptr) continue;
    for (char** alias = entry.h_aliases; alias != nullptr && *alias != nullptr; ++alias) {
      const std::string text = *alias;
      if (std::find(aliases.begin(), aliases.end(), text) == aliases.end()) aliases.push_back(text);
    }
  }
  return aliases;
}

std::string WhoAmIText(IAccountNames& names, IResolver& resolver, const HostAliases& aliases) {
  std::string text;
  AddNameLine(text, "Domain Name: ", names.DomainName());
  AddNameLine(text, "User Name: ", names.UserName());
  AddNameLine(text, "Computer Name: ", names.ComputerName());
  text.append("Host Name: ");
  const std::optional<std::string> hostName = names.HostName();
  HostEntry entry;
  if (hostName && resolver.HostByName(*hostName, entry)) {
    // The address look-up gives no aliases; the hosts database does.
    if (entry.aliases.empty()) entry.aliases = aliases(*hostName);
    std::erase(entry.aliases, entry.name);
    AddHostLines(text, *hostName, entry);
  } else {
    text.append("Unknown\n\nOfficial Host Name: Unknown\n\nInternet Address: Unknown");
  }
  return text;
}

}  // namespace netrove
