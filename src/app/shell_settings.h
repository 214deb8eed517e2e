#pragma once
// The shell's own values in the "Netrove" tool key and the main window's
// geometry on a first start.
#include <string_view>

namespace netrove {

inline constexpr std::string_view kShellKeyName = "Netrove";
inline constexpr std::string_view kValueAlwaysOnTop = "AlwaysOnTop";
inline constexpr std::string_view kValueClock = "Clock";
inline constexpr std::string_view kValueSizeAndPosition = "SizeAndPosition";
// Whether the chat and broadcast listeners run (missing: on), and whether
// they accept from this computer only (missing: every interface).
inline constexpr std::string_view kValueAnswerPeers = "AnswerChatAndBroadcasts";
inline constexpr std::string_view kValueLoopbackOnly = "ListenOnLoopbackOnly";

struct ShellSwitches {
  bool alwaysOnTop = false;
  bool clock = false;
  bool sizeAndPosition = false;
};

// Missing key or values read as off.
ShellSwitches ReadShellSwitches();

struct ListenerChoice {
  bool answer = true;
  bool loopbackOnly = false;
};
ListenerChoice ReadListenerChoice();

// Creates the key if needed and writes one switch as 1 or 0. False, with
// errno telling why, when the key could not be created or written.
bool WriteShellSwitch(std::string_view valueName, bool on);

struct WindowGeometry {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
};

// The main window's place when no placement was restored: a twentieth of the
// screen in from the left, a tenth down, nine tenths wide, four fifths high.
WindowGeometry DefaultMainWindowGeometry(int screenWidth, int screenHeight);

}  // namespace netrove
