#pragma once
// Sending a local broadcast: the text as it goes on the wire (line breaks as
// CR LF, then one zero byte) in one datagram to every copy on the segment.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace netrove {

class IMainWindowReporter;
class SocketAddress;

inline constexpr std::uint16_t kLocalBroadcastPort = 17322;
// The longest text, in bytes on the wire without the zero byte: the
// receivers read at most 512 bytes.
inline constexpr std::size_t kBroadcastTextLimit = 384;

// The typed text (UTF-8, lines ended by LF or CR LF) with every line break
// as CR LF.
std::string BroadcastWireText(std::string_view typed);

// 255.255.255.255 at the broadcast port.
SocketAddress LimitedBroadcastAddress(std::uint16_t port = kLocalBroadcastPort);

// Where a broadcast can go besides 255.255.255.255, which a host without a
// default route cannot send to: each IPv4 interface's broadcast address.
struct BroadcastTarget {
  std::string interfaceName;  // "eth0"
  std::string address;        // "192.168.1.255"
};
std::vector<BroadcastTarget> InterfaceBroadcastTargets();

// Sends `wireText` and its zero byte as one datagram from a fresh socket
// with SO_BROADCAST on. Failures are reported as socket error texts; true
// when the datagram went out.
bool SendBroadcast(std::string_view wireText, const SocketAddress& to,
                   IMainWindowReporter& reporter);

}  // namespace netrove
