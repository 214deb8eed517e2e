#pragma once
// A private pyftpdlib server on 127.0.0.1 (or ::1) serving a temporary
// folder, for the tests that need a real FTP peer. Started and stopped by the test; never the
// system's service.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

extern char** environ;

namespace netrove::test {

class PyFtpServer {
 public:
  // With a certificate and its key the server takes AUTH TLS (and requires
  // it when `requireTls`).
  explicit PyFtpServer(const std::filesystem::path& root, std::string address = "127.0.0.1",
                       std::string certificate = {}, std::string key = {},
                       bool requireTls = false) {
    int output[2];
    if (::pipe(output) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, output[1], 1);
    posix_spawn_file_actions_addclose(&actions, output[0]);
    // Debian's interpreter, which has the packaged pyftpdlib, even when
    // another python3 comes first on the PATH.
    std::string python = ::access("/usr/bin/python3", X_OK) == 0 ? "/usr/bin/python3" : "python3";
    std::string script = NETROVE_FTP_SERVER_SCRIPT;
    std::string folder = root.string();
    std::string anyPort = "0";
    std::string required = requireTls ? "required" : "optional";
    char* argv[] = {python.data(),  script.data(),   folder.data(),
                    anyPort.data(), address.data(),  certificate.data(),
                    key.data(),     required.data(), nullptr};
    if (certificate.empty()) argv[5] = nullptr;
    const bool started = posix_spawnp(&pid_, python.c_str(), &actions, nullptr, argv, environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
    ::close(output[1]);
    if (started) {
      FILE* in = ::fdopen(output[0], "r");
      unsigned port = 0;
      if (in != nullptr && std::fscanf(in, "%u", &port) == 1)
        port_ = static_cast<std::uint16_t>(port);
      if (in != nullptr) std::fclose(in);
    } else {
      ::close(output[0]);
      pid_ = -1;
    }
  }
  ~PyFtpServer() {
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      int status = 0;
      ::waitpid(pid_, &status, 0);
    }
  }
  PyFtpServer(const PyFtpServer&) = delete;
  PyFtpServer& operator=(const PyFtpServer&) = delete;

  // 0 when the server could not start (pyftpdlib missing).
  std::uint16_t port() const { return port_; }

 private:
  pid_t pid_ = -1;
  std::uint16_t port_ = 0;
};

}  // namespace netrove::test
