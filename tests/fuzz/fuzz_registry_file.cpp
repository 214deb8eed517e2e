// Feeds arbitrary bytes to the settings file parser. Whatever it accepts must
// format to text that reads back as the same tree and formats the same again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "base/registry_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto tree = netrove::RegistryFile::Parse(text);
  if (!tree) return 0;
  const std::string formatted = tree->Format();
  const auto again = netrove::RegistryFile::Parse(formatted);
  if (!again || *again != *tree || again->Format() != formatted) std::abort();
  return 0;
}
