#pragma once
// Reading and writing the options the diagnostics tools keep under their
// tool keys, each a REG_DWORD.
#include <cstdint>
#include <string_view>

#include "base/settings_store.h"

namespace netrove {

// Reads a yes/no value: anything but 0 is yes. `flag` keeps its value when
// the key lacks it.
inline void ReadFlag(const CToolKey& key, std::string_view name, bool& flag) {
  std::uint32_t value = flag ? 1 : 0;
  key.ReadDword(name, value);
  flag = value != 0;
}

// Creates the tool's key if needed and writes one value. False when the key
// cannot be created or the value not written.
inline bool WriteToolValue(std::string_view toolName, std::string_view valueName,
                           std::uint32_t value) {
  auto key = CreateToolKey(toolName);
  return key && key->WriteDword(valueName, value);
}

}  // namespace netrove
