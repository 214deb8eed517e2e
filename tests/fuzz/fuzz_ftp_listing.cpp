// Feeds arbitrary bytes as a LIST or MLSD answer to the listing parser (MLSD
// facts, DOS and Unix lines) and checks that every entry it makes is a whole,
// safe-to-show name, that no name it accepts for a local file leaves the
// folder, and that the MDTM time reader takes any text.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "transfer/ftp_listing.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace netrove;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  for (const auto& entry : ParseListing(text)) {
    if (entry.name.empty() || entry.name.size() > size) __builtin_trap();
    if (entry.name.find("\r\n") != std::string::npos) __builtin_trap();
    if (entry.label.size() != entry.name.size()) __builtin_trap();
    if (entry.isFolder && (entry.name == "." || entry.name == "..")) __builtin_trap();
    for (const char c : entry.label) {
      if (static_cast<unsigned char>(c) < 0x20) __builtin_trap();
    }
    const auto local = LocalPathForListedName("/drop", entry.name);
    if (local && local->parent_path() != "/drop") __builtin_trap();
  }
  (void)ParseFtpTime(text);
  return 0;
}
