#pragma once
// The thin socket side of TFTP: drives a transfer engine over its UDP socket
// with the tick clock, and the client that the TFTP window and netrove-cli
// run on a worker thread.
#include <atomic>
#include <cstdint>
#include <optional>
#include <string>

#include "base/net_socket.h"
#include "base/run_lifecycle.h"
#include "transfer/tftp_engine.h"

namespace netrove {

class IMainWindowReporter;
class IRunFinishedListener;

inline constexpr std::uint16_t kTftpPort = 69;

// Sends what the engine leaves behind and feeds it with what arrives and the
// ends of its waits, until it finishes or fails. An interrupted socket ends
// the transfer silently.
void DriveTftpEngine(CTftpEngine& engine, CNetSocket& socket);

// Reports a failed transfer the way the window shows it: TFTP texts as source
// 1134, system errors as 1133, socket errors as WinSock texts; an interrupted
// transfer shows nothing.
void ReportTftpFailure(IMainWindowReporter& reporter, const TftpFailure& failure);

// "HOST" or "HOST:PORT" (port 1 to 65535). False when the port is not a
// number in that range.
bool SplitTftpHost(const std::string& text, std::string& host, std::uint16_t& port);

struct TftpClientRequest {
  TftpOpcode opcode = kTftpRrq;  // get or put
  TftpMode mode = TftpMode::Netascii;
  std::string host;  // a dotted address or a name
  std::uint16_t port = kTftpPort;
  std::string remoteName;
  std::string localName;
  // The options asked for (none by default, as a classic client).
  TftpOptions options{};
  // A silent server is given up after this long (the TFTP page's time-out).
  std::int32_t giveUpMs = kTftpGiveUpMs;
  FamilyChoice families = FamilyChoice::Both;  // the General page's, or -4/-6
};

// One get or put. Run blocks the calling thread; Abort, from any thread,
// ends it with false and nothing more shown.
class CTftpClient {
 public:
  // Host names are looked up with `resolver`.
  CTftpClient(IMainWindowReporter& reporter, ITftpProgress* progress,
              IResolver& resolver = SystemResolver());

  // True when the transfer finished. Failures are reported before it returns.
  bool Run(const TftpClientRequest& request);
  void Abort();
  std::uint64_t bytesTransferred() const { return bytes_.load(); }

 private:
  bool ResolvePeer(const TftpClientRequest& request, SocketAddress& peer);

  IMainWindowReporter& reporter_;
  ITftpProgress* progress_;
  IResolver& resolver_;
  CNetSocket socket_;
  std::atomic<std::uint64_t> bytes_{0};
};

// The notice that a client transfer has ended; the TFTP window has no
// command of its own for it.
inline constexpr int kTftpFinishedCommand = 0;

// One client transfer at a time on a worker of the shared run lifecycle, as
// the TFTP window and netrove-cli run it: Start, Interrupt (the window's
// Interrupt button, Ctrl+C), Join after the finished notice.
class CTftpClientRun {
 public:
  CTftpClientRun(IMainWindowReporter& reporter, ITftpProgress* progress,
                 IRunFinishedListener& finished, IResolver& resolver = SystemResolver(),
                 IThreadLauncher& threads = SystemThreads());

  // False, with nothing started, while a transfer runs, and when no thread
  // could be started (reported to the main window).
  bool Start(const TftpClientRequest& request);
  void Interrupt();
  void Join();
  bool IsRunning() const { return lifecycle_.IsRunning(); }
  // The last transfer finished; read after the finished notice.
  bool Completed() const { return completed_.load(); }

 private:
  IMainWindowReporter& reporter_;
  ITftpProgress* progress_;
  IResolver& resolver_;
  // A fresh client per transfer: an interrupted socket stays interrupted.
  std::optional<CTftpClient> client_;
  TftpClientRequest request_;
  std::atomic<bool> completed_{false};
  CRunLifecycle lifecycle_;
};

}  // namespace netrove
