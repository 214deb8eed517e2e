#pragma once
// The Unix long-format listing ("drwxr-xr-x 2 owner group 4096 Jan 1 12:00
// name") that FTP servers send for LIST, turned into folder and file entries,
// and the guard that keeps a listed name from leaving the local folder it is
// downloaded into.
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace netrove {

struct FtpListingEntry {
  std::string name;   // exactly as listed: what goes back to the server
  std::string label;  // the name as shown: control characters as '?'
  bool isFolder = false;
  bool operator==(const FtpListingEntry&) const = default;
};

// Every folder ("d") and file ("-") line that ends with CR LF, in sorted
// order (without regard to case, then by bytes). Other lines (totals, links,
// devices, other listing styles) and the folders "." and ".." are skipped; a
// name keeps its blanks. Linear in the text plus the sort.
std::vector<FtpListingEntry> ParseUnixListing(std::string_view text);

// The name from one listing line (eight fields removed), nothing when the
// line has fewer fields.
std::optional<std::string_view> ListedName(std::string_view line);

// Whether a name from the server may become a local file name: not empty,
// not "." or "..", and without "/", NUL or other control characters.
bool IsSafeLocalName(std::string_view name);

// folder / name, or nothing for a name IsSafeLocalName refuses.
std::optional<std::filesystem::path> LocalPathForListedName(const std::filesystem::path& folder,
                                                            std::string_view name);

// The message shown when a listed name is refused as a local file name.
std::string UnsafeNameMessage(std::string_view name);

// The name shown for a listed name: control characters as '?'.
std::string DisplayName(std::string_view name);

}  // namespace netrove
