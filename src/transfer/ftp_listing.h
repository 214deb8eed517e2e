#pragma once
// Folder listings turned into folder and file entries: the machine-readable
// lines of MLSD ("type=file;size=4096;modify=20261210071500; name"), and
// for servers without it the LIST styles, the Unix long format
// ("drwxr-xr-x 2 owner group 4096 Jan 1 12:00 name") and the DOS/Windows
// one ("12-10-26  07:15AM  <DIR>  name"); and the guard that keeps a listed
// name from leaving the local folder it is downloaded into.
#include <cstdint>
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
  // Only what the listing states exactly (MLSD facts, the DOS size column);
  // never guessed from the Unix long format's columns.
  std::optional<std::uint64_t> size;
  std::optional<std::int64_t> modified;  // seconds since 1970, UTC
  std::string permissions;               // the MLSD "perm" fact ("adfrw"), as sent
  bool operator==(const FtpListingEntry&) const = default;
};

// Every file and folder line that ends with CR LF, in sorted order (without
// regard to case, then by bytes). Each line is read in its own style: MLSD
// facts (a first word of "fact=value;" pairs, which no LIST line has), DOS
// (a leading date) or Unix. Lines that name neither a file nor a folder
// (totals, links, devices, malformed facts) and the folders "." and ".."
// are skipped; a name keeps its blanks. Linear in the text plus the sort.
std::vector<FtpListingEntry> ParseListing(std::string_view text);

// One line of MLSD or MLST: facts, one blank, the name. Nothing when the
// facts are malformed or the entry is neither a file nor a folder ("cdir",
// "pdir", links and devices of the "OS." types).
std::optional<FtpListingEntry> ParseFactsLine(std::string_view line);
// One DOS/Windows LIST line: "MM-DD-YY[YY]  HH:MM[AM|PM]  <DIR>|size  name".
std::optional<FtpListingEntry> ParseDosLine(std::string_view line);
// One Unix long-format line: "d" a folder, "-" a file, anything else nothing.
std::optional<FtpListingEntry> ParseUnixLine(std::string_view line);

// A byte count as SIZE and the "size" fact give it: decimal digits only,
// within 64 bits. Nothing otherwise.
std::optional<std::uint64_t> ParseFtpSize(std::string_view text);

// "YYYYMMDDHHMMSS" with optional fractions ".sss", UTC, as MDTM and the
// "modify" fact give it: seconds since 1970. Nothing when malformed.
std::optional<std::int64_t> ParseFtpTime(std::string_view text);

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
