#pragma once
// The messages worker threads send to the main window, and the interface
// through which core engines deliver them. The numbers are the protocol
// between the windows, so they are kept here by name.
#include <optional>
#include <string>
#include <string_view>

namespace netrove {

inline constexpr unsigned kWmUser = 0x0400;
inline constexpr unsigned WM_CHAT_INCOMING = kWmUser + 100;
inline constexpr unsigned WM_CHAT_CONNECTED = kWmUser + 102;
inline constexpr unsigned WM_TOOL_MESSAGE = kWmUser + 103;
inline constexpr unsigned WM_BROADCAST_RECEIVED = kWmUser + 120;

// Sources of WM_TOOL_MESSAGE (its wParam).
enum ToolMessageSource : int {
  kSourceQuoteOfTheDay = 1129,
  kSourceDaytime = 1130,
  kSourceWhoAmI = 1131,
  kSourceSoftware = 1132,
  kSourceSystemMessage = 1133,  // carries a system error code, not a text
  kSourceTftp = 1134,
  kSourceHardware = 1135,
  kSourceWinSock = 1139,
  kSourceAttention = 1145,  // no box: beep and flash
  kSourceFtp = 1154,
  kSourceNewsreader = 1179,
};

// The source's name, or nothing for codes the main window ignores (and for
// 1145, which shows no box).
std::optional<std::string_view> ToolMessageSourceName(int source);

// "Netrove:" followed by the source's name; empty for codes without a name.
std::string ToolMessageCaption(int source);

// The operating system's message for an error code (errno values), the text
// a 1133 box shows. Never empty.
std::string SystemErrorText(int errorCode);

// Receiver of WM_TOOL_MESSAGE. Called from any thread; never blocks the
// caller on the user interface. The window implements it by queuing onto the
// GUI thread, tests by recording, the command-line front end by printing.
class IMainWindowReporter {
 public:
  virtual ~IMainWindowReporter() = default;
  // A text for one of the text sources; ownership of the text passes.
  virtual void PostToolMessage(int source, std::string text) = 0;
  // Source 1133: the box shows the system's text for errorCode.
  virtual void PostSystemError(int errorCode) = 0;
  // Source 1145: beep and flash the main window.
  virtual void PostAttention() = 0;
};

}  // namespace netrove
