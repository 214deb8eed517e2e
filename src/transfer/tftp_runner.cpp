#include "transfer/tftp_runner.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <vector>

#include "base/host_port.h"
#include "base/tick_count.h"
#include "base/tool_message.h"
#include "transfer/tftp_file.h"

namespace netrove {
namespace {

// Sends the packets the engine left, a whole window or one. False when the
// socket failed (the engine then holds the failure).
bool SendOutgoing(CTftpEngine& engine, CNetSocket& socket) {
  SocketCount sent;
  for (auto packet = engine.TakeOutgoing(); !packet.empty(); packet = engine.TakeOutgoing()) {
    sent = socket.SendTo(packet.data(), packet.size(), engine.peer());
    if (!sent) break;
  }
  if (sent) return true;
  engine.Fail(
      {sent.status().userInterrupted() ? TftpFailure::Kind::Silent : TftpFailure::Kind::SocketError,
       {},
       sent.error});
  return false;
}

// `timeoutInForce` is the receive time-out the socket has: a fresh wait is
// usually as long as the one before, and then needs no system call.
// `buffer` holds the largest DATA packet and one byte more, so an oversized
// one is told from a full one.
void ReceiveOne(CTftpEngine& engine, CNetSocket& socket, std::uint32_t wait, int& timeoutInForce,
                std::vector<std::uint8_t>& buffer) {
  if (wait == 0) return engine.OnTimeout(TickCount());
  const SocketStatus set = static_cast<int>(wait) == timeoutInForce
                               ? SocketStatus{}
                               : socket.SetReceiveTimeout(static_cast<int>(wait));
  timeoutInForce = set ? static_cast<int>(wait) : -1;
  if (!set) {
    return engine.Fail(
        {set.userInterrupted() ? TftpFailure::Kind::Silent : TftpFailure::Kind::SocketError,
         {},
         set.error});
  }
  SocketAddress from;
  const SocketCount received = socket.RecvFrom(buffer.data(), buffer.size(), &from);
  if (received) {
    return engine.OnPacket(std::span(buffer.data(), static_cast<std::size_t>(received.bytes)), from,
                           TickCount());
  }
  if (received.error == WSAETIMEDOUT) return engine.OnTimeout(TickCount());
  const bool quiet = received.status().userInterrupted() || socket.Interrupted();
  engine.Fail(
      {quiet ? TftpFailure::Kind::Silent : TftpFailure::Kind::SocketError, {}, received.error});
}

}  // namespace

void DriveTftpEngine(CTftpEngine& engine, CNetSocket& socket) {
  int timeoutInForce = -1;
  std::vector<std::uint8_t> buffer(kTftpLargestPacket + 1);
  while (SendOutgoing(engine, socket) && engine.state() == TftpState::Running) {
    ReceiveOne(engine, socket, engine.WaitRemaining(TickCount()), timeoutInForce, buffer);
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
  port = kTftpPort;
  return SplitServerAndPort(text, host, port);
}

CTftpClient::CTftpClient(IMainWindowReporter& reporter, ITftpProgress* progress,
                         IResolver& resolver)
    : reporter_(reporter), progress_(progress), resolver_(resolver) {}

// A datagram has no connection to race: the first address the family
// choice allows is the server's.
bool CTftpClient::ResolvePeer(const TftpClientRequest& request, SocketAddress& peer) {
  HostEntry entry;
  if (const std::optional<SocketAddress> numeric = SocketAddress::FromText(request.host);
      numeric && request.host != "255.255.255.255") {
    entry.addresses.push_back(*numeric);
  } else if (const SocketStatus found = resolver_.HostByName(request.host, entry); !found) {
    ReportSocketError(reporter_, found.error);
    return false;
  }
  const std::vector<SocketAddress> addresses = AddressesToTry(entry, request.families);
  if (addresses.empty()) {
    ReportSocketError(reporter_, WSANO_DATA);
    return false;
  }
  peer = addresses.front();
  peer.setPort(request.port);
  return true;
}

bool CTftpClient::Run(const TftpClientRequest& request) {
  SocketAddress peer;
  if (!ResolvePeer(request, peer)) return false;
  SocketStatus opened = socket_.Create(peer.family(), SOCK_DGRAM, IPPROTO_UDP);
  if (opened) opened = socket_.Bind(0);
  if (!opened) {
    ReportSocketError(reporter_, opened);
    return false;
  }
  TftpFileOpen file = request.opcode == kTftpRrq ? CreateTftpFile(request.localName)
                                                 : OpenTftpFileForReading(request.localName);
  if (!file.file) {
    reporter_.PostSystemError(file.error);
    return false;
  }
  CTftpEngine engine(TftpRole::Client, std::move(file.file), request.mode, peer, TickCount());
  engine.SetProgress(progress_);
  engine.SetGiveUpAfter(request.giveUpMs);
  engine.StartRequest(request.opcode, request.remoteName, request.options);
  DriveTftpEngine(engine, socket_);
  bytes_.store(engine.bytesTransferred());
  ReportTftpFailure(reporter_, engine.failure());
  return engine.state() == TftpState::Finished;
}

void CTftpClient::Abort() { socket_.Interrupt(); }

CTftpClientRun::CTftpClientRun(IMainWindowReporter& reporter, ITftpProgress* progress,
                               IRunFinishedListener& finished, IResolver& resolver,
                               IThreadLauncher& threads)
    : reporter_(reporter),
      progress_(progress),
      resolver_(resolver),
      lifecycle_(finished, kTftpFinishedCommand, threads) {}

bool CTftpClientRun::Start(const TftpClientRequest& request) {
  if (lifecycle_.IsRunning()) return false;
  lifecycle_.Join();
  request_ = request;
  completed_ = false;
  client_.emplace(reporter_, progress_, resolver_);
  const bool started = lifecycle_.Start([this](std::stop_token stop) {
    // The client's socket is made by Run: the stop reaches it through Abort,
    // which also holds for a stop that came before the socket exists.
    const std::stop_callback abort(stop, [this] { client_->Abort(); });
    completed_ = client_->Run(request_);
  });
  if (!started) reporter_.PostToolMessage(kSourceTftp, kNoThreadText);
  return started;
}

void CTftpClientRun::Interrupt() { lifecycle_.Interrupt(); }

void CTftpClientRun::Join() { lifecycle_.Join(); }

}  // namespace netrove
