#include "transfer/tftp_server.h"

#include <arpa/inet.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <thread>

#include "base/ignored_run_finished.h"
#include "base/tick_count.h"
#include "base/tool_message.h"
#include "base/user_paths.h"
#include "transfer/tftp_engine.h"
#include "transfer/tftp_file.h"
#include "transfer/tftp_options.h"
#include "transfer/tftp_runner.h"

namespace netrove {
namespace {

constexpr std::size_t kLongestLoggedName = 120;
// A listening socket that keeps failing is retried after this pause.
constexpr auto kListenRetryPause = std::chrono::milliseconds(50);

std::string PeerText(const SocketAddress& peer) { return peer.textWithPort(); }

// One socket for both families: IPv6 with IPV6_V6ONLY off takes IPv4
// requests as well (their senders show as ::ffff:a.b.c.d). A host without
// IPv6 gets an IPv4 socket.
SocketStatus OpenDualStackListener(CNetSocket& listener, std::uint16_t port) {
  if (listener.Create(AF_INET6, SOCK_DGRAM, IPPROTO_UDP)) {
    const int off = 0;
    SocketStatus status = listener.SetOption(IPPROTO_IPV6, IPV6_V6ONLY, &off, sizeof off);
    if (status) status = listener.Bind(port);
    return status;
  }
  SocketStatus status = listener.Create(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  if (status) status = listener.Bind(port);
  return status;
}

// A name from the network, made safe for one log line.
std::string LoggedName(const std::string& name) {
  std::string shown;
  for (const char c : name.substr(0, kLongestLoggedName)) {
    shown += (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) ? '?' : c;
  }
  if (name.size() > kLongestLoggedName) shown += "...";
  return "\"" + shown + "\"";
}

TftpRequestRefusal RefusalForOpen(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR:
      return {kTftpFileNotFound, std::string(TftpErrorCodeText(kTftpFileNotFound))};
    case EEXIST:
      return {kTftpFileExists, std::string(TftpErrorCodeText(kTftpFileExists))};
    case ENOSPC:
    case EDQUOT:
      return {kTftpDiskFull, std::string(TftpErrorCodeText(kTftpDiskFull))};
    case EXDEV:
    case EACCES:
    case EPERM:
      return {kTftpAccessViolation, std::string(TftpErrorCodeText(kTftpAccessViolation))};
    default:
      return {kTftpAccessViolation, SystemErrorText(error)};
  }
}

std::string FailureText(const TftpFailure& failure) {
  switch (failure.kind) {
    case TftpFailure::Kind::Message:
      return failure.text;
    case TftpFailure::Kind::SystemError:
      return SystemErrorText(failure.code);
    case TftpFailure::Kind::SocketError: {
      std::string text = SocketErrorText(failure.code);
      if (const auto newline = text.find('\n'); newline != std::string::npos) text[newline] = ' ';
      return text;
    }
    case TftpFailure::Kind::None:
    case TftpFailure::Kind::Silent:
      break;
  }
  return "Interrupted.";
}

// The options granted, for the log line: " (blksize 1468, windowsize 16)".
std::string OptionsText(const TftpOptionList& granted) {
  std::string text;
  for (const TftpOption& option : granted) {
    text += (text.empty() ? " (" : ", ") + option.name + " " + option.value;
  }
  return text.empty() ? text : text + ")";
}

}  // namespace

void CTftpServerLogBook::Log(std::string line) {
  std::lock_guard lock(mutex_);
  lines_.push_back(std::move(line));
  if (lines_.size() > kKeptLines) lines_.pop_front();
  ++serial_;
}

std::vector<std::string> CTftpServerLogBook::Lines() const {
  std::lock_guard lock(mutex_);
  return {lines_.begin(), lines_.end()};
}

std::uint64_t CTftpServerLogBook::Serial() const {
  std::lock_guard lock(mutex_);
  return serial_;
}

CTftpServer::CTftpServer(IMainWindowReporter& reporter, SettingsSource settings,
                         ITftpServerLog* echo, IThreadLauncher& threads)
    : reporter_(reporter),
      threads_(threads),
      echo_(echo),
      settingsSource_(std::move(settings)),
      listeningRun_(IgnoredRunFinished(), 0, threads) {}

CTftpServer::Transfer::Transfer(IThreadLauncher& threads) : run(IgnoredRunFinished(), 0, threads) {}

void CTftpServer::Log(std::string line) {
  if (echo_ != nullptr) echo_->Log(line);
  book_.Log(std::move(line));
}

CTftpServer::~CTftpServer() {
  Stop();
  std::lock_guard lock(transfersMutex_);
  for (auto& transfer : transfers_) transfer->run.Interrupt();
  for (auto& transfer : transfers_) transfer->run.Join();
  transfers_.clear();
}

bool CTftpServer::Start() {
  if (listening_.load()) return true;
  settings_ = settingsSource_();
  EnsureFolder(settings_.folder);
  const SocketStatus opened = OpenDualStackListener(listener_, settings_.port);
  if (!opened) {
    ReportSocketError(reporter_, opened.error);
    listener_.Close();
    return false;
  }
  if (!listeningRun_.Start([this](std::stop_token) { Listen(); }, {&listener_})) {
    reporter_.PostToolMessage(kSourceTftp, kNoThreadText);
    listener_.Close();
    return false;
  }
  listening_.store(true);
  Log("Serving " + settings_.folder.string() + " on UDP port " + std::to_string(settings_.port) +
      (settings_.allowCreate ? "; clients may create files." : "; read only."));
  return true;
}

void CTftpServer::Stop() {
  if (!listening_.load()) return;
  // The run closes the listening socket as it ends.
  listeningRun_.Interrupt();
  listeningRun_.Join();
  listening_.store(false);
  Log("Stopped.");
}

std::size_t CTftpServer::RunningTransfers() {
  ReapFinished();
  std::lock_guard lock(transfersMutex_);
  return transfers_.size();
}

void CTftpServer::Listen() {
  std::array<std::uint8_t, kTftpReceiveBuffer> buffer{};
  for (;;) {
    SocketAddress from;
    const SocketCount received = listener_.RecvFrom(buffer.data(), buffer.size(), &from);
    if (received) {
      // An IPv4 client is served from an IPv4 socket, so its packets come
      // in the form the transfer compares them with.
      Admit(std::span(buffer.data(), static_cast<std::size_t>(received.bytes)), from.unmapped());
      continue;
    }
    if (received) continue;
    if (received.status().userInterrupted() || listener_.Interrupted()) return;
    Log(SocketErrorText(received.error));
    std::this_thread::sleep_for(kListenRetryPause);
  }
}

void CTftpServer::Admit(std::span<const std::uint8_t> packet, const SocketAddress& from) {
  const auto opcode = ReadTftpOpcode(packet);
  if (!opcode || (*opcode != kTftpRrq && *opcode != kTftpWrq)) {
    // Not a request: answering it would let anyone aim our packets elsewhere.
    Log(PeerText(from) + " ignored: a datagram of " + std::to_string(packet.size()) +
        " bytes that is no request.");
    return;
  }
  ReapFinished();
  std::lock_guard lock(transfersMutex_);
  if (const std::string full = FullText(from); !full.empty()) {
    Log(PeerText(from) + " ignored: " + full);
    return;
  }
  auto transfer = std::make_unique<Transfer>(threads_);
  transfer->requester = from;
  SocketStatus opened = transfer->socket.Create(from.family(), SOCK_DGRAM, IPPROTO_UDP);
  if (opened) opened = transfer->socket.Bind(0);
  if (!opened) {
    Log(PeerText(from) + " not served: " + SocketErrorText(opened.error));
    return;
  }
  Transfer& started = *transfer;
  const bool running = started.run.Start(
      // Each transfer keeps the settings it began with: a restart of the
      // server with others must not change them under it.
      [this, &started, request = std::vector<std::uint8_t>(packet.begin(), packet.end()), from,
       settings = settings_](std::stop_token) { Serve(started, request, from, settings); },
      {&started.socket});
  // A request must never be able to end the server: without a thread it is
  // left unanswered, as when the server is full, and the peer times out.
  if (!running) {
    Log(PeerText(from) + " not served: " + kNoThreadText);
    return;
  }
  transfers_.push_back(std::move(transfer));
}

std::string CTftpServer::FullText(const SocketAddress& from) const {
  if (transfers_.size() >= kMostTransfers) {
    return std::to_string(kMostTransfers) + " transfers are running already.";
  }
  const auto fromThere = std::count_if(transfers_.begin(), transfers_.end(),
                                       [&from](const std::unique_ptr<Transfer>& transfer) {
                                         return transfer->requester.sameHost(from);
                                       });
  if (static_cast<std::size_t>(fromThere) >= kMostTransfersPerAddress) {
    return std::to_string(kMostTransfersPerAddress) + " transfers of this address are running.";
  }
  return {};
}

void CTftpServer::Serve(Transfer& transfer, std::vector<std::uint8_t> packet, SocketAddress from,
                        const TftpServerSettings& settings) {
  const std::string who = PeerText(from);
  const auto refuse = [&](const TftpRequestRefusal& refusal, const std::string& what) {
    const TftpPacket error = BuildTftpError(refusal.code, refusal.text);
    static_cast<void>(transfer.socket.SendTo(error.data(), error.size(), from));
    Log(what + " refused: " + refusal.text);
  };
  const TftpRequestParse parse = ParseTftpRequest(packet);
  if (!parse.request) return refuse(*parse.refusal, who + " request");
  const TftpRequest& request = *parse.request;
  const bool reading = request.opcode == kTftpRrq;
  const std::string what = who + (reading ? " get " : " put ") + LoggedName(request.fileName) +
                           (request.mode == TftpMode::Octet ? " (octet)" : " (netascii)");
  if (!reading && !settings.allowCreate) {
    return refuse({kTftpAccessViolation, std::string(TftpErrorCodeText(kTftpAccessViolation))},
                  what);
  }
  TftpFileOpen opened = reading ? OpenServedFileForReading(settings.folder, request.fileName)
                                : CreateServedFile(settings.folder, request.fileName);
  if (!opened.file) return refuse(RefusalForOpen(opened.error), what);
  const TftpNegotiation negotiation =
      NegotiateTftpOptions(request.options, request.opcode, request.mode, opened.file->Size());
  CTftpEngine engine(TftpRole::Server, std::move(opened.file), request.mode, from, TickCount());
  engine.UseOptions(negotiation);
  if (reading) {
    engine.StartServingRead();
  } else {
    engine.StartServingWrite();
  }
  DriveTftpEngine(engine, transfer.socket);
  const std::string bytes =
      std::to_string(engine.bytesTransferred()) + " bytes" + OptionsText(negotiation.answer);
  if (engine.state() == TftpState::Finished) {
    Log(what + ": " + bytes + (reading ? " sent." : " received."));
  } else {
    Log(what + " failed after " + bytes + ": " + FailureText(engine.failure()));
  }
}

void CTftpServer::ReapFinished() {
  std::list<std::unique_ptr<Transfer>> finished;
  {
    std::lock_guard lock(transfersMutex_);
    for (auto it = transfers_.begin(); it != transfers_.end();) {
      if (!(*it)->run.IsRunning()) {
        finished.splice(finished.end(), transfers_, it++);
      } else {
        ++it;
      }
    }
  }
  for (auto& transfer : finished) transfer->run.Join();
}

}  // namespace netrove
