#pragma once
// How the shell starts and stops the background TFTP server. The server
// object is created at start-up whether or not it runs, so its settings page
// can start and stop it later; the shell starts it when the "TFTP" key asks
// for it and stops it at shutdown.
#include "base/tftp_server_control.h"

namespace netrove {

// Reads IsServerEnable and starts the server when it is set. A server that
// cannot open its socket is switched off in the settings so the next start
// does not try again. Returns whether the server runs.
bool StartTftpServerWhenEnabled(ITftpServer& server);

}  // namespace netrove
