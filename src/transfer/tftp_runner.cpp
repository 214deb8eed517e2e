#include "transfer/tftp_runner.h"

#include <arpa/inet.h>

#include <array>
#include <charconv>

#include "base/tick_count.h"
#include "base/tool_message.h"
#include "transfer/tftp_file.h"

namespace netrove {
namespace {

// Sends the engine's packet, if it left one. False when the socket failed
// (the engine then holds the failure).
bool SendOutgoing(CTftpEngine& engine, CNetSocket& socket) {
  const auto packet = engine.TakeOutgoing();
  if (packet.empty()) return true;
  if (socket.SendTo(packet.data(), packet.size(), engine.peer()) >= 0) return true;
  const int error = GetLastError();
  engine.Fail(
      {error == WSAEINTR ? TftpFailure::Kind::Silent : TftpFailure::Kind::SocketError, {}, error});
  return false;
}

void ReceiveOne(CTftpEngine& engine, CNetSocket& socket, std::uint32_t wait) {
  if (wait == 0 || !socket.SetReceiveTimeout(static_cast<int>(wait))) {
    if (wait == 0) return engine.OnTimeout(TickCount());
    return engine.Fail({TftpFailure::Kind::SocketError, {}, GetLastError()});
  }
  std::array<std::uint8_t, kTftpReceiveBuffer> buffer{};
  sockaddr_in from{};
  const long count = socket.RecvFrom(buffer.data(), buffer.size(), &from);
  if (count >= 0) {
    return engine.OnPacket(std::span(buffer.data(), static_cast<std::size_t>(count)), from,
                           TickCount());
  }
  const int error = GetLastError();
  if (error == WSAETIMEDOUT) return engine.OnTimeout(TickCount());
  const bool quiet = error == WSAEINTR || error == WSAENOTSOCK || socket.Interrupted();
  engine.Fail({quiet ? TftpFailure::Kind::Silent : TftpFailure::Kind::SocketError, {}, error});
}

}  // namespace

void DriveTftpEngine(CTftpEngine& engine, CNetSocket& socket) {
  while (SendOutgoing(engine, socket) && engine.state() == TftpState::Running) {
    ReceiveOne(engine, socket, engine.WaitRemaining(TickCount()));
  }
}

void ReportTftpFailure(IMainWindowReporter& reporter, const TftpFailure& failure) {
  switch (failure.kind) {
    case TftpFailure::Kind::Message:
      reporter.PostToolMessage(kSourceTftp, failure.text);
      break;
    case TftpFailure::Kind::SystemError:
      reporter.PostSystemError(failure.code);
      break;
    case TftpFailure::Kind::SocketError:
      ReportSocketError(reporter, failure.code);
      break;
    case TftpFailure::Kind::None:
    case TftpFailure::Kind::Silent:
      break;
  }
}

bool SplitTftpHost(const std::string& text, std::string& host, std::uint16_t& port) {
  const auto colon = text.rfind(':');
  host = text.substr(0, colon);
  port = kTftpPort;
  if (colon == std::string::npos) return !host.empty();
  const std::string digits = text.substr(colon + 1);
  unsigned value = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (digits.empty() || error != std::errc() || end != digits.data() + digits.size() ||
      value == 0 || value > 65535) {
    return false;
  }
  port = static_cast<std::uint16_t>(value);
  return !host.empty();
}

CTftpClient::CTftpClient(IMainWindowReporter& reporter, ITftpProgress* progress)
    : reporter_(reporter), progress_(progress) {}

bool CTftpClient::ResolvePeer(const TftpClientRequest& request, sockaddr_in& peer) {
  peer = {};
  peer.sin_family = AF_INET;
  peer.sin_port = htons(request.port);
  peer.sin_addr.s_addr = InetAddr(request.host);
  if (peer.sin_addr.s_addr != INADDR_NONE) return true;
  HostEntry entry;
  if (!GetHostByName(request.host, entry) || entry.addresses.empty()) {
    ReportSocketError(reporter_, GetLastError());
    return false;
  }
  peer.sin_addr = entry.addresses.front();
  return true;
}

bool CTftpClient::Run(const TftpClientRequest& request) {
  sockaddr_in peer{};
  if (!ResolvePeer(request, peer)) return false;
  if (!socket_.Create(AF_INET, SOCK_DGRAM, IPPROTO_UDP) || !socket_.Bind(0)) {
    const int error = GetLastError();
    if (error != WSAEINTR) ReportSocketError(reporter_, error);
    return false;
  }
  TftpFileOpen opened = request.opcode == kTftpRrq ? CreateTftpFile(request.localName)
                                                   : OpenTftpFileForReading(request.localName);
  if (!opened.file) {
    reporter_.PostSystemError(opened.error);
    return false;
  }
  CTftpEngine engine(TftpRole::Client, std::move(opened.file), request.mode, peer, TickCount());
  engine.SetProgress(progress_);
  engine.StartRequest(request.opcode, request.remoteName);
  DriveTftpEngine(engine, socket_);
  bytes_.store(engine.bytesTransferred());
  ReportTftpFailure(reporter_, engine.failure());
  return engine.state() == TftpState::Finished;
}

void CTftpClient::Abort() { socket_.Interrupt(); }

}  // namespace netrove
