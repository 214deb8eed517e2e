#pragma once
// A private INN for the newsreader's tests: started by inn_instance.sh in a
// throw-away folder on a free loopback port, killed and removed at the end.
// Needs Debian's inn2 and root; NETROVE_REQUIRE_INN() skips the test without
// them, or fails it when NETROVE_REQUIRE_PRIVILEGED=1.
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

namespace netrove::test {

inline constexpr char kInnd[] = "/usr/lib/news/bin/innd";

inline std::uint16_t FreeLoopbackPort() {
  const int probe = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address);
  getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length);
  close(probe);
  return ntohs(address.sin_port);
}

// A secured instance: STARTTLS on the plain port, TLS from the first byte
// on a second one, and only this reader signed in may read.
struct InnSecurity {
  std::filesystem::path certificate;  // PEM, the server's then its issuer's
  std::filesystem::path key;
  std::string user;
  std::string password;
};

class InnInstance {
 public:
  explicit InnInstance(const std::optional<InnSecurity>& security = std::nullopt) {
    char name[] = "/tmp/netrove-inn-XXXXXX";
    folder_ = mkdtemp(name);
    std::filesystem::permissions(folder_, std::filesystem::perms(0755));
    port_ = FreeLoopbackPort();
    std::string command =
        std::string(NETROVE_INN_SCRIPT) + " " + folder_.string() + " " + std::to_string(port_);
    if (security) {
      do tlsPort_ = FreeLoopbackPort();
      while (tlsPort_ == port_);
      command += " " + std::to_string(tlsPort_) + " " + security->certificate.string() + " " +
                 security->key.string() + " " + security->user + " " + security->password;
    }
    command += " >" + folder_.string() + "/start.log 2>&1";
    started_ = std::system(command.c_str()) == 0;
  }
  ~InnInstance() {
    Kill(folder_ / "run" / "innd.pid");
    if (tlsPort_ != 0) Kill(folder_ / "run" / ("nnrpd-" + std::to_string(tlsPort_) + ".pid"));
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }
  bool started() const { return started_; }
  std::uint16_t port() const { return port_; }
  // The port that speaks TLS from the first byte (secured instances).
  std::uint16_t tlsPort() const { return tlsPort_; }

 private:
  std::filesystem::path folder_;
  static void Kill(const std::filesystem::path& pidPath) {
    std::ifstream pidFile(pidPath);
    pid_t pid = 0;
    if (pidFile >> pid && pid > 0) {
      // innd takes its time over SIGTERM; the instance's state is thrown away.
      kill(pid, SIGKILL);
      for (int i = 0; i < 100 && kill(pid, 0) == 0; ++i) usleep(20'000);
    }
  }

  std::uint16_t port_ = 0;
  std::uint16_t tlsPort_ = 0;
  bool started_ = false;
};

inline bool PeerRequired() {
  const char* value = std::getenv("NETROVE_REQUIRE_PRIVILEGED");
  return value && std::string(value) == "1";
}

}  // namespace netrove::test

#define NETROVE_REQUIRE_INN()                                                          \
  do {                                                                                 \
    if (!std::filesystem::exists(::netrove::test::kInnd) || geteuid() != 0) {          \
      if (::netrove::test::PeerRequired()) FAIL() << "INN (inn2) and root are needed"; \
      GTEST_SKIP() << "INN (inn2) is not installed or the test does not run as root";  \
    }                                                                                  \
  } while (false)
