#pragma once
// ~/.netrc, as ftp, curl and lftp read it: "machine NAME login USER password
// SECRET" entries (tokens separated by any blanks or line ends), a "default"
// entry for every other machine, "account" read and ignored, and "macdef"
// macros skipped to the blank line that ends them. A password may be given
// in double quotes with backslash escapes.
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace netrove {

struct NetrcLogin {
  std::string login;
  std::string password;
};

// The entry for `machine` (or the default entry) from the file's text. With
// a `login` given only an entry for that login matches; without one the
// first entry of the machine does.
std::optional<NetrcLogin> FindNetrcLogin(std::string_view text, std::string_view machine,
                                         std::string_view login);

struct NetrcLookup {
  std::optional<NetrcLogin> found;
  // Why the file was not used, for the user: it is readable by others (a
  // password in it could be read by anyone on the machine), or it could not
  // be read. Empty when there is no file, or it was read.
  std::string refusal;
};

// $NETRC when set, else ~/.netrc.
std::filesystem::path NetrcFile();

// Reads `file` for `machine`: refused when the file is readable or writable
// by its group or others, as ftp refuses it.
NetrcLookup LookUpNetrc(const std::filesystem::path& file, std::string_view machine,
                        std::string_view login);

}  // namespace netrove
