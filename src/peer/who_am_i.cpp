#include "peer/who_am_i.h"

#include <pwd.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <array>

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

std::string NameLine(const char* label, const std::optional<std::string>& value) {
  return std::string(label) + (value ? *value : kUnknown) + "\n\n";
}

std::string HostLines(const std::string& hostName, const HostEntry& entry) {
  std::string text = hostName.substr(0, hostName.find('.')) + "\n\n";
  text += "Official Host Name: " + entry.name;
  for (const std::string& alias : entry.aliases) text += "\n\nAlias: " + alias;
  text += "\n";
  for (const SocketAddress& address : entry.addresses) {
    text += "\nInternet Address: " + address.text();
  }
  return text;
}

}  // namespace

IAccountNames& SystemAccountNames() {
  static CSystemAccountNames names;
  return names;
}

std::string WhoAmIText(IAccountNames& names, IResolver& resolver) {
  std::string text = NameLine("Domain Name: ", names.DomainName());
  text += NameLine("User Name: ", names.UserName());
  text += NameLine("Computer Name: ", names.ComputerName());
  text += "Host Name: ";
  const std::optional<std::string> hostName = names.HostName();
  HostEntry entry;
  if (hostName && resolver.HostByName(*hostName, entry)) return text + HostLines(*hostName, entry);
  return text + "Unknown\n\nOfficial Host Name: Unknown\n\nInternet Address: Unknown";
}

}  // namespace netrove
