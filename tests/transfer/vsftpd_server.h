#pragma once
// A private vsftpd (Debian vsftpd) on 127.0.0.1 or ::1 serving a temporary folder to
// anonymous users, for the tests that need a second real FTP peer. It runs
// in the foreground as the user who started the test, from a configuration
// written beside the served folder, so the system's service and its
// configuration are never touched and no root is needed.
#include <arpa/inet.h>
#include <fcntl.h>
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
#include <string>
#include <thread>

#include "support/loopback_socket.h"

extern char** environ;

namespace netrove::test {

class VsftpdServer {
 public:
  static constexpr char kProgram[] = "/usr/sbin/vsftpd";

  // `root` is served; `work` holds the configuration and the log. `extra`
  // lines go at the configuration's end (TLS settings, say); with
  // implicit_ssl=YES the server greets inside TLS only, so an accepted
  // connection is taken as its start.
  VsftpdServer(const std::filesystem::path& root, const std::filesystem::path& work,
               bool ipv6 = false, std::string extra = {})
      : ipv6_(ipv6), implicitTls_(extra.find("implicit_ssl=YES") != std::string::npos) {
    if (::access(kProgram, X_OK) != 0) return;
    std::filesystem::create_directories(work);
    // The port is chosen free just before vsftpd binds it; another program
    // may take it meanwhile, so a start that fails is tried again.
    for (int attempt = 0; attempt < 5 && port_ == 0; ++attempt) {
      const std::uint16_t port = FreeLoopbackPort();
      WriteConfiguration(work / "vsftpd.conf", root, work / "vsftpd.log", port, ipv6);
      std::ofstream(work / "vsftpd.conf", std::ios::app) << extra;
      if (Spawn(work / "vsftpd.conf") && AwaitGreeting(port)) {
        port_ = port;
      } else {
        Stop();
      }
    }
  }
  ~VsftpdServer() { Stop(); }
  VsftpdServer(const VsftpdServer&) = delete;
  VsftpdServer& operator=(const VsftpdServer&) = delete;

  // 0 when the server could not start (vsftpd missing).
  std::uint16_t port() const { return port_; }

  // The `extra` lines for TLS with this certificate: nothing in the clear
  // for anonymous users, data connections required to resume the control
  // connection's session (vsftpd's default); from the first byte when
  // `implicit`.
  static std::string TlsConfiguration(const std::filesystem::path& certificate,
                                      const std::filesystem::path& key, bool implicit) {
    return "ssl_enable=YES\nallow_anon_ssl=YES\nforce_anon_logins_ssl=YES\n"
           "force_anon_data_ssl=YES\nrequire_ssl_reuse=YES\nssl_ciphers=HIGH\n"
           "rsa_cert_file=" +
           certificate.string() + "\nrsa_private_key_file=" + key.string() + "\n" +
           (implicit ? "implicit_ssl=YES\n" : "");
  }

 private:
  static std::uint16_t FreeLoopbackPort() {
    const int probe = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    (void)::bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address);
    (void)::getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(probe);
    return ntohs(address.sin_port);
  }

  // Anonymous users may read, upload, append, rename and delete in `root`;
  // TYPE A converts line ends as the protocol says. The namespaces and the
  // system-call filter vsftpd would set up are left off: a container may
  // refuse them, and this instance serves nobody but the test.
  static void WriteConfiguration(const std::filesystem::path& file,
                                 const std::filesystem::path& root,
                                 const std::filesystem::path& log, std::uint16_t port, bool ipv6) {
    std::ofstream(file) << (ipv6 ? "listen=NO\nlisten_ipv6=YES\nlisten_address6=::1\n"
                                 : "listen=YES\nlisten_ipv6=NO\nlisten_address=127.0.0.1\n")
                        << "background=NO\nlisten_port=" << port << "\n"
                        << "run_as_launching_user=YES\n"
                        << "anonymous_enable=YES\nno_anon_password=NO\nlocal_enable=NO\n"
                        << "anon_root=" << root.string() << "\n"
                        << "write_enable=YES\nanon_upload_enable=YES\n"
                        << "anon_mkdir_write_enable=YES\nanon_other_write_enable=YES\n"
                        << "anon_world_readable_only=NO\nanon_umask=022\n"
                        << "ascii_upload_enable=YES\nascii_download_enable=YES\n"
                        << "pasv_enable=YES\npasv_min_port=50000\npasv_max_port=59999\n"
                        << "port_enable=YES\nconnect_from_port_20=NO\n"
                        << "seccomp_sandbox=NO\nisolate=NO\nisolate_network=NO\n"
                        << "xferlog_enable=NO\nsyslog_enable=NO\n"
                        << "vsftpd_log_file=" << log.string() << "\n";
  }

  bool Spawn(const std::filesystem::path& configuration) {
    std::string program = kProgram;
    std::string file = configuration.string();
    char* argv[] = {program.data(), file.data(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const bool started = posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv, environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
    if (!started) pid_ = -1;
    return started;
  }

  // Until the server greets on `port`, or its process has ended.
  bool AwaitGreeting(std::uint16_t port) const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
      int status = 0;
      if (::waitpid(pid_, &status, WNOHANG) == pid_) return false;
      if (Greets(port, ipv6_, implicitTls_)) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
  }

  static bool Greets(std::uint16_t port, bool ipv6, bool implicitTls) {
    const int client = ConnectedToLoopback(port, ipv6);
    if (client < 0) return false;
    if (implicitTls) {
      ::close(client);
      return true;
    }
    char reply[4] = {};
    const bool greeted =
        ::recv(client, reply, 3, MSG_WAITALL) == 3 && std::string(reply, 3) == "220";
    ::close(client);
    return greeted;
  }

  void Stop() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
  }

  bool ipv6_ = false;
  bool implicitTls_ = false;
  pid_t pid_ = -1;
  std::uint16_t port_ = 0;
};

}  // namespace netrove::test
