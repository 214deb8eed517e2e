#pragma once
// Peers for the Finger and WhoIs tests, all on 127.0.0.1:
// - ScriptedQueryServer accepts one connection, reads the request line and
//   then plays a script (send, wait for the client, reset, stay silent), for
//   the misbehaviours no real server produces on demand;
// - FingerDaemon runs the system's in.fingerd under a private
//   inetutils-inetd on a free high port, in a temporary folder.
#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace netrove::test {

class ScriptedQueryServer {
 public:
  // One step of the script, run on the server's thread with the connection.
  using Step = std::function<void(int connection)>;

  ScriptedQueryServer();  // listening at once
  ~ScriptedQueryServer();
  ScriptedQueryServer(const ScriptedQueryServer&) = delete;
  ScriptedQueryServer& operator=(const ScriptedQueryServer&) = delete;

  std::uint16_t port() const { return port_; }
  // Accepts one connection on a thread, reads until CR LF (or the client's
  // end), then runs the steps and closes the connection.
  void Play(std::vector<Step> steps);
  // Waits for the script's end; returns the bytes the client sent.
  std::string Finish();
  // The bytes received so far.
  std::string Received() const;

  static Step Send(std::string bytes);
  // Runs `wait` (typically: until the client shows what came) before the
  // next step, so that pieces arrive in separate receives.
  static Step Await(std::function<void()> wait);
  // Aborts the connection: the client's receive fails with a reset.
  static Step Reset();
  // Sends nothing and waits until the client goes.
  static Step StaySilent();
  // Sends `chunk` again and again until the client goes.
  static Step SendForever(std::string chunk);

 private:
  void Serve(std::vector<Step> steps);

  int listener_ = -1;
  std::uint16_t port_ = 0;
  std::thread thread_;
  mutable std::mutex mutex_;
  std::string received_;
};

class FingerDaemon {
 public:
  FingerDaemon() = default;
  ~FingerDaemon();
  FingerDaemon(const FingerDaemon&) = delete;
  FingerDaemon& operator=(const FingerDaemon&) = delete;

  // Whether inetutils-inetd and in.fingerd are installed.
  static bool Installed();
  // Starts inetd with a configuration of its own and waits until the port
  // answers. False (with `problem` set) when it does not.
  bool Start(std::string& problem);
  std::uint16_t port() const { return port_; }

 private:
  std::filesystem::path folder_;
  pid_t pid_ = -1;
  std::uint16_t port_ = 0;
};

}  // namespace netrove::test
