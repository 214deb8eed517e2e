#pragma once
// The real TFTP peers of Debian for tests: tftpd-hpa run privately in the
// foreground on a loopback high port, and the tftp-hpa client run once per
// command. A test that needs one that is not installed skips, or fails when
// NETROVE_REQUIRE_PRIVILEGED=1.
#include <arpa/inet.h>
#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/loopback_socket.h"
#include "support/scoped_home.h"
#include "support/wait_until.h"

extern char** environ;

namespace netrove::test {

inline constexpr const char* kTftpdProgram = "/usr/sbin/in.tftpd";
inline constexpr const char* kTftpProgram = "/usr/bin/tftp";
inline constexpr const char* kCurlProgram = "/usr/bin/curl";

#define NETROVE_REQUIRE_PROGRAM(path)                                                  \
  do {                                                                                 \
    if (::access(path, X_OK) != 0) {                                                   \
      if (::netrove::test::PrivilegeRequired()) FAIL() << path << " is not installed"; \
      GTEST_SKIP() << path << " is not installed (scripts/install-deps test)";         \
    }                                                                                  \
  } while (0)

inline std::string ReadWholeFile(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

inline void WriteWholeFile(const std::filesystem::path& file, const std::string& content) {
  std::ofstream(file, std::ios::binary) << content;
}

// A UDP port on 127.0.0.1 that was free a moment ago.
inline std::uint16_t FreeUdpPort() {
  const int probe = BoundSocket(SOCK_DGRAM, 0);
  sockaddr_in address{};
  socklen_t size = sizeof address;
  getsockname(probe, reinterpret_cast<sockaddr*>(&address), &size);
  ::close(probe);
  return ntohs(address.sin_port);
}

inline bool UdpPortTaken(std::uint16_t port) {
  const int probe = BoundSocket(SOCK_DGRAM, port);
  if (probe >= 0) ::close(probe);
  return probe < 0;
}

inline bool Ipv6UdpPortTaken(std::uint16_t port) {
  const int probe = ::socket(AF_INET6, SOCK_DGRAM, 0);
  sockaddr_in6 address{};
  address.sin6_family = AF_INET6;
  address.sin6_addr = in6addr_loopback;
  address.sin6_port = htons(port);
  const bool taken = ::bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0;
  ::close(probe);
  return taken;
}

// Starts `args` in `folder` with its output in `output`; the process id.
inline pid_t Spawn(std::vector<std::string> args, const std::filesystem::path& folder,
                   const std::filesystem::path& output) {
  std::vector<char*> argv;
  for (auto& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
  posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  pid_t pid = -1;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

// Runs a program to its end in `folder`; what it printed.
inline std::string RunProgram(std::vector<std::string> args, const std::filesystem::path& folder) {
  const auto output = folder / ".program-output";
  const pid_t pid = Spawn(std::move(args), folder, output);
  int status = 0;
  if (pid > 0) waitpid(pid, &status, 0);
  std::string printed = ReadWholeFile(output);
  std::filesystem::remove(output);
  return printed;
}

// Runs the tftp-hpa client with one command in `folder`; what it printed. (It
// exits 0 even when the transfer failed: look at its output and the file.)
inline std::string RunTftpHpa(std::uint16_t port, const std::string& mode,
                              const std::string& command, const std::filesystem::path& folder,
                              const std::string& host = "127.0.0.1") {
  std::vector<std::string> args = {kTftpProgram, "-m", mode, host, std::to_string(port), "-c"};
  std::istringstream words(command);
  for (std::string word; words >> word;) args.push_back(word);
  const auto output = folder / ".tftp-output";
  const pid_t pid = Spawn(args, folder, output);
  int status = 0;
  if (pid > 0) waitpid(pid, &status, 0);
  std::string printed = ReadWholeFile(output);
  std::filesystem::remove(output);
  return printed;
}

// tftpd-hpa serving `folder` on a loopback port of its own (127.0.0.1, or
// [::1]) until destroyed.
class TftpdHpa {
 public:
  // `extra`: more arguments, such as "-r blksize" to refuse an option.
  TftpdHpa(const std::filesystem::path& folder, bool allowCreate, bool ipv6 = false,
           const std::vector<std::string>& extra = {})
      : port_(FreeUdpPort()) {
    const passwd* user = getpwuid(geteuid());
    const std::string address = (ipv6 ? "[::1]:" : "127.0.0.1:") + std::to_string(port_);
    std::vector<std::string> args = {
        kTftpdProgram,  "-L", "-a", address, "-u", user != nullptr ? user->pw_name : "root", "-s",
        folder.string()};
    if (allowCreate) args.push_back("-c");
    args.insert(args.end(), extra.begin(), extra.end());
    pid_ = Spawn(args, folder, folder.parent_path() / "tftpd-hpa.log");
    started_ = pid_ > 0 && WaitUntil([this, ipv6] {
                 return ipv6 ? Ipv6UdpPortTaken(port_) : UdpPortTaken(port_);
               });
  }
  ~TftpdHpa() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
  TftpdHpa(const TftpdHpa&) = delete;
  TftpdHpa& operator=(const TftpdHpa&) = delete;
  bool started() const { return started_; }
  std::uint16_t port() const { return port_; }

 private:
  std::uint16_t port_;
  pid_t pid_ = -1;
  bool started_ = false;
};

}  // namespace netrove::test
