#pragma once
// The TFTP server: one listening socket, and one thread with a socket of its
// own per request. It serves one folder only and treats every request as
// hostile: names are confined to the folder, nothing is ever sent but answers
// to the requester's address and port, a transfer ends after its time-outs,
// the transfers running at once are capped, in all and per requesting
// address, and failures are written to a log instead of a box per packet.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "base/net_socket.h"
#include "base/run_lifecycle.h"
#include "base/tftp_server_control.h"
#include "transfer/tftp_settings.h"

namespace netrove {

class IMainWindowReporter;

// Where the server writes what it did and what it refused, one line each.
// Called from the server's threads.
class ITftpServerLog {
 public:
  virtual ~ITftpServerLog() = default;
  virtual void Log(std::string line) = 0;
};

// Keeps the latest lines for a window to show; older lines fall out.
class CTftpServerLogBook : public ITftpServerLog {
 public:
  static constexpr std::size_t kKeptLines = 200;
  void Log(std::string line) override;
  std::vector<std::string> Lines() const;
  // Counts every line ever logged, so a reader can tell when to refresh.
  std::uint64_t Serial() const;

 private:
  mutable std::mutex mutex_;
  std::deque<std::string> lines_;
  std::uint64_t serial_ = 0;
};

class CTftpServer : public ITftpServer {
 public:
  static constexpr std::size_t kMostTransfers = 16;
  // One host cannot take every transfer slot: others are still served while
  // it holds its share (a silent requester holds one for up to a minute).
  static constexpr std::size_t kMostTransfersPerAddress = 4;
  using SettingsSource = std::function<TftpServerSettings()>;

  // `settings` is read at every Start. The server keeps its latest log lines
  // itself and also hands each to `echo` when one is given. Its listener and
  // every transfer get their threads from `threads`.
  CTftpServer(IMainWindowReporter& reporter, SettingsSource settings,
              ITftpServerLog* echo = nullptr, IThreadLauncher& threads = SystemThreads());
  // Stops the server and ends every transfer still running.
  ~CTftpServer() override;
  CTftpServer(const CTftpServer&) = delete;
  CTftpServer& operator=(const CTftpServer&) = delete;

  bool Start() override;
  // Stops listening; transfers already running go on on their own sockets.
  void Stop() override;
  bool IsRunning() const override { return listening_.load(); }
  std::vector<std::string> LogLines() const override { return book_.Lines(); }
  std::size_t RunningTransfers();

 private:
  // One request's transfer: its own socket, and a run that closes the
  // socket when the transfer ends.
  struct Transfer {
    explicit Transfer(IThreadLauncher& threads);
    SocketAddress requester;
    CNetSocket socket;
    CRunLifecycle run;
  };

  void Listen();
  void Admit(std::span<const std::uint8_t> packet, const SocketAddress& from);
  void Serve(Transfer& transfer, std::vector<std::uint8_t> packet, SocketAddress from,
             const TftpServerSettings& settings);
  void ReapFinished();
  // Why a request from `from` finds no free slot; empty when it does.
  std::string FullText(const SocketAddress& from) const;
  void Log(std::string line);

  IMainWindowReporter& reporter_;
  IThreadLauncher& threads_;
  CTftpServerLogBook book_;
  ITftpServerLog* echo_;
  SettingsSource settingsSource_;
  TftpServerSettings settings_;
  CNetSocket listener_;
  std::atomic<bool> listening_{false};
  CRunLifecycle listeningRun_;
  std::mutex transfersMutex_;
  std::list<std::unique_ptr<Transfer>> transfers_;
};

}  // namespace netrove
