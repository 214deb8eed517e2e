#pragma once
// How the shell starts and stops the background TFTP server. The server
// object is created at start-up whether or not it runs, so its settings page
// can start and stop it later; the shell starts it when the "TFTP" key asks
// for it and stops it at shutdown.
#include <string_view>

namespace netrove {

inline constexpr std::string_view kTftpKeyName = "TFTP";
inline constexpr std::string_view kValueIsServerEnable = "IsServerEnable";

class ITftpServer {
 public:
  virtual ~ITftpServer() = default;
  // Starts the server thread and waits until it has opened its socket (or
  // failed to, after reporting why). True when the server is listening.
  virtual bool Start() = 0;
  // Wakes the server thread, waits for it to end and closes the socket. Does
  // nothing when the server is not running.
  virtual void Stop() = 0;
  virtual bool IsRunning() const = 0;
};

// Reads IsServerEnable and starts the server when it is set. A server that
// cannot open its socket is switched off in the settings so the next start
// does not try again. Returns whether the server runs.
bool StartTftpServerWhenEnabled(ITftpServer& server);

}  // namespace netrove
