#pragma once
// Who am I?: a report of the account, computer and host the program runs on.
// Every piece that cannot be had reads "Unknown"; the report never fails.
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace netrove {

class IResolver;

// Where the report's names come from; tests hand in a fake.
class IAccountNames {
 public:
  virtual ~IAccountNames() = default;
  virtual std::optional<std::string> DomainName() = 0;
  virtual std::optional<std::string> UserName() = 0;
  virtual std::optional<std::string> ComputerName() = 0;
  virtual std::optional<std::string> HostName() = 0;
};

// The running system's names: the NIS domain (none on most systems), the
// effective user's login name, and the node name as both computer and host
// name (Linux allows 64 bytes).
IAccountNames& SystemAccountNames();

// The other names the hosts database gives a host name (from /etc/hosts, or
// a DNS alias chain): the resolver's address look-up reports none.
using HostAliases = std::function<std::vector<std::string>(const std::string& name)>;
std::vector<std::string> SystemHostAliases(const std::string& name);

// The report's text, lines separated by "\n".
std::string WhoAmIText(IAccountNames& names, IResolver& resolver,
                       const HostAliases& aliases = SystemHostAliases);

}  // namespace netrove
