#pragma once
// A private aiosmtpd (Debian's python3-aiosmtpd) on a loopback high port,
// storing what it accepts in a maildir inside the test's temporary folder.
// Each stored message carries its envelope as X-MailFrom and X-RcptTo.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/loopback_socket.h"

extern char** environ;

namespace netrove::test {

class AiosmtpdServer {
 public:
  // The interpreter Debian's package installs for; another python3 on the
  // PATH may not have the module.
  static constexpr const char* kPython = "/usr/bin/python3";

  static bool Installed() {
    return std::system("/usr/bin/python3 -c 'import aiosmtpd' >/dev/null 2>&1") == 0;
  }

  // `ipv6`: on ::1 instead of 127.0.0.1.
  explicit AiosmtpdServer(const std::filesystem::path& folder, bool ipv6 = false)
      : maildir_(folder / "maildir"), ipv6_(ipv6) {
    port_ = FreePort();
    const std::string listen = (ipv6 ? "::1:" : "127.0.0.1:") + std::to_string(port_);
    Spawn({kPython, "-m", "aiosmtpd", "-n", "-l", listen, "-c", "aiosmtpd.handlers.Mailbox",
           maildir_.string()});
  }

#ifdef NETROVE_SMTP_AUTH_SERVER
  // With TLS (STARTTLS offered, or from the first byte) and one user, who
  // may sign in only over TLS; the certificate and key are PEM files.
  struct Secure {
    std::filesystem::path certificate;
    std::filesystem::path key;
    std::string user;
    std::string password;
    bool implicit = false;
  };
  AiosmtpdServer(const std::filesystem::path& folder, const Secure& secure)
      : maildir_(folder / "maildir") {
    port_ = FreePort();
    std::filesystem::create_directories(folder);
    Spawn({kPython, NETROVE_SMTP_AUTH_SERVER, "127.0.0.1", std::to_string(port_), maildir_.string(),
           secure.certificate.string(), secure.key.string(), secure.user, secure.password,
           secure.implicit ? "implicit" : "starttls"});
  }
#endif

 private:
  void Spawn(std::vector<std::string> args) {
    std::vector<char*> argv;
    for (auto& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    if (posix_spawn(&pid_, kPython, nullptr, nullptr, argv.data(), environ) != 0) pid_ = 0;
    ready_ = pid_ != 0 && WaitUntilListening();
  }

 public:
  ~AiosmtpdServer() {
    if (pid_ == 0) return;
    ::kill(pid_, SIGTERM);
    int status = 0;
    ::waitpid(pid_, &status, 0);
  }
  AiosmtpdServer(const AiosmtpdServer&) = delete;
  AiosmtpdServer& operator=(const AiosmtpdServer&) = delete;

  bool Ready() const { return ready_; }
  std::uint16_t port() const { return port_; }
  std::string server() const { return (ipv6_ ? "[::1]:" : "127.0.0.1:") + std::to_string(port_); }

  // The stored messages, each as its file's text.
  std::vector<std::string> Messages() const {
    std::vector<std::string> messages;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(maildir_ / "new", error)) {
      std::ifstream in(entry.path(), std::ios::binary);
      std::stringstream text;
      text << in.rdbuf();
      messages.push_back(text.str());
    }
    return messages;
  }

 private:
  static std::uint16_t FreePort() {
    const int probe = BoundSocket(SOCK_STREAM, 0);
    sockaddr_in address{};
    socklen_t length = sizeof address;
    ::getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(probe);
    return ntohs(address.sin_port);
  }

  bool WaitUntilListening() const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (std::chrono::steady_clock::now() < deadline) {
      const int probe = ConnectedToLoopback(port_, ipv6_);
      if (probe >= 0) {
        ::close(probe);
        return true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
  }

  std::filesystem::path maildir_;
  bool ipv6_ = false;
  std::uint16_t port_ = 0;
  pid_t pid_ = 0;
  bool ready_ = false;
};

// Skips when aiosmtpd is missing, or fails when the run must have every
// peer (NETROVE_REQUIRE_PRIVILEGED=1, as CI sets).
#define NETROVE_REQUIRE_AIOSMTPD()                                                       \
  do {                                                                                   \
    if (!::netrove::test::AiosmtpdServer::Installed()) {                                 \
      if (::netrove::test::PrivilegeRequired()) FAIL() << "python3-aiosmtpd is missing"; \
      GTEST_SKIP() << "python3-aiosmtpd is not installed (scripts/install-deps test)";   \
    }                                                                                    \
  } while (0)

}  // namespace netrove::test
