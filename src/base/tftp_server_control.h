#pragma once
// The background TFTP server as the shell and the TFTP settings page see it:
// started at program start when the "TFTP" key asks for it, started and
// stopped from its page, stopped at shutdown. The server itself lives in its
// tool folder; this is only the switch.
#include <string>
#include <string_view>
#include <vector>

namespace netrove {

inline constexpr std::string_view kTftpKeyName = "TFTP";
inline constexpr std::string_view kValueIsServerEnable = "IsServerEnable";

class ITftpServer {
 public:
  virtual ~ITftpServer() = default;
  // Opens the server's socket and starts its thread; true when the server is
  // listening. A socket that cannot be opened is reported before it returns.
  virtual bool Start() = 0;
  // Wakes the server thread, waits for it to end and closes the socket. Does
  // nothing when the server is not running.
  virtual void Stop() = 0;
  virtual bool IsRunning() const = 0;
  // The latest lines of the server's log (requests served and refused),
  // oldest first.
  virtual std::vector<std::string> LogLines() const { return {}; }
};

}  // namespace netrove
