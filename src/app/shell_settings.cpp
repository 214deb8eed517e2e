#include "app/shell_settings.h"

#include <cerrno>
#include <cstdint>

#include "base/settings_store.h"

namespace netrove {
namespace {

bool ReadSwitch(const CToolKey& key, std::string_view valueName) {
  std::uint32_t value = 0;
  key.ReadDword(valueName, value);
  return value != 0;
}

}  // namespace

ShellSwitches ReadShellSwitches() {
  ShellSwitches switches;
  const auto key = OpenToolKey(kShellKeyName, false);
  if (!key) return switches;
  switches.alwaysOnTop = ReadSwitch(*key, kValueAlwaysOnTop);
  switches.clock = ReadSwitch(*key, kValueClock);
  switches.sizeAndPosition = ReadSwitch(*key, kValueSizeAndPosition);
  return switches;
}

ListenerChoice ReadListenerChoice() {
  ListenerChoice choice;
  const auto key = OpenToolKey(kShellKeyName, false);
  if (!key) return choice;
  std::uint32_t answer = 1;
  key->ReadDword(kValueAnswerPeers, answer);
  choice.answer = answer != 0;
  choice.loopbackOnly = ReadSwitch(*key, kValueLoopbackOnly);
  return choice;
}

bool WriteShellSwitch(std::string_view valueName, bool on) {
  errno = 0;
  auto key = CreateToolKey(kShellKeyName);
  if (!key) {
    if (errno == 0) errno = EACCES;
    return false;
  }
  if (!key->WriteDword(valueName, on ? 1u : 0u)) {
    if (errno == 0) errno = EIO;
    return false;
  }
  return true;
}

WindowGeometry DefaultMainWindowGeometry(int screenWidth, int screenHeight) {
  return WindowGeometry{screenWidth / 20, screenHeight / 10, 9 * screenWidth / 10,
                        4 * screenHeight / 5};
}

}  // namespace netrove
