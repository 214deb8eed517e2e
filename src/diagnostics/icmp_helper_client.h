#pragma once
// Raw ICMP sockets from netrove-icmp-helper, for a Netrove that carries no
// capability itself. The helper is started for each request batch and ends
// when the caller hangs up, so no privileged process outlives the need.
#include <string>

#include "base/net_socket.h"
#include "diagnostics/icmp_helper_protocol.h"

namespace netrove {

// The helper program: $NETROVE_ICMP_HELPER when set, else the installed
// ../lib/netrove/netrove-icmp-helper beside the running program's folder, else
// one in the program's own folder.
std::string IcmpHelperPath();

// Opens a raw ICMP socket of `family` through the helper into `socket`.
// WSAEACCES when there is no helper, it lacks the privilege or it does not
// answer as a helper would: the caller then uses what an unprivileged
// process may open.
SocketStatus OpenRawIcmpThroughHelper(IcmpHelperFamily family, CNetSocket& socket);

}  // namespace netrove
