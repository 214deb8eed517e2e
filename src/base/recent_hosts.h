#pragma once
// The hosts a tool's host field was last given, most recent first, kept in
// the tool's settings key so that the field's drop-down offers them again.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace netrove {

inline constexpr std::size_t kRecentHostLimit = 10;

// The list `hosts` becomes when `host` is used: `host` first, an earlier
// entry of the same text dropped, at most kRecentHostLimit entries. A text
// that could not be a host (empty, blanks or control characters in it, too
// long) leaves the list as it is.
std::vector<std::string> WithRecentHost(std::vector<std::string> hosts, std::string_view host);

// Read from and written to the value "RecentHosts" of the tool's key.
std::vector<std::string> ReadRecentHosts(std::string_view toolKey);
// False when the key could not be written.
bool RememberRecentHost(std::string_view toolKey, std::string_view host);

}  // namespace netrove
