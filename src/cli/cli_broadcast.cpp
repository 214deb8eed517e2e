// netrove-cli broadcast: one local broadcast, as the Local Broadcast box sends
// it; --address and --port aim it elsewhere (a test listener, a subnet).
#include <arpa/inet.h>

#include <ostream>
#include <string>

#include "base/net_socket.h"
#include "cli/cli_command.h"
#include "cli/cli_reporter.h"
#include "peer/broadcast_send.h"

namespace netrove::cli {
namespace {

constexpr Option kOptions[] = {
    {"address", 'a', "A", "send to this IPv4 address instead of 255.255.255.255"},
    {"port", 'p', "N", "send to this UDP port instead of 17322", NumberRange{1, 65535}},
};

int RunBroadcast(const CommandLine& line, CliStreams& io) {
  const std::string wire = BroadcastWireText(line.operands()[0]);
  if (wire.empty() || wire.size() > kBroadcastTextLimit) {
    io.err << "netrove-cli broadcast: the text must have 1 to " << kBroadcastTextLimit
           << " bytes (line breaks count as two)\n";
    return kUsageError;
  }
  std::int32_t port = kLocalBroadcastPort;
  line.Take("port", port);
  SocketAddress to = LimitedBroadcastAddress(static_cast<std::uint16_t>(port));
  if (const auto address = line.Text("address")) {
    in_addr parsed{};
    if (inet_pton(AF_INET, address->c_str(), &parsed) != 1) {
      io.err << "netrove-cli broadcast: '" << *address << "' is no IPv4 address\n";
      return kUsageError;
    }
    to = SocketAddress::FromIPv4(parsed, static_cast<std::uint16_t>(port));
  }
  CliReporter reporter(io.err);
  return SendBroadcast(wire, to, reporter) ? 0 : 1;
}

const CommandRegistrar registrar(
    {"broadcast", "TEXT", "Send a text to every copy of Netrove on the local network.", kOptions,
     RunBroadcast, 1, 1,
     "TEXT goes out as one UDP datagram with a zero byte after it; it may hold up to\n"
     "384 bytes, each line break counted as CR LF. Exit status 0 when it was sent.\n"
     "Broadcasts are IPv4 only: IPv6 has no broadcast address.\n"});

}  // namespace
}  // namespace netrove::cli
