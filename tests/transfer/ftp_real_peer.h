#pragma once
// One real FTP server (vsftpd or pyftpdlib) on 127.0.0.1 serving a folder,
// and a connection logged in to it in passive mode, for the tests that
// compare what a whole operation left on both sides.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <ostream>
#include <string>

#include "pyftpd_server.h"
#include "support/scoped_home.h"
#include "transfer/ftp_connection.h"
#include "vsftpd_server.h"

namespace netrove::test {

enum class FtpPeer { Pyftpdlib, Vsftpd };

inline void PrintTo(FtpPeer peer, std::ostream* out) {
  *out << (peer == FtpPeer::Vsftpd ? "vsftpd" : "pyftpdlib");
}

class RealFtpPeer {
 public:
  // Serves `root`; `work` holds vsftpd's configuration. port() is 0 when the
  // server is missing.
  RealFtpPeer(FtpPeer peer, const std::filesystem::path& root, const std::filesystem::path& work)
      : root_(root) {
    std::filesystem::create_directories(root);
    if (peer == FtpPeer::Vsftpd) {
      vsftpd_ = std::make_unique<VsftpdServer>(root, work);
      port_ = vsftpd_->port();
      user_ = "anonymous";
      password_ = "tester@netrove.test";
      // vsftpd runs unprivileged, so without chroot: paths are the real ones.
      prefix_ = root.string();
    } else {
      pyftpd_ = std::make_unique<PyFtpServer>(root);
      port_ = pyftpd_->port();
      user_ = "bob";
      password_ = "secret";
    }
  }

  std::uint16_t port() const { return port_; }
  // The server's path of `relative` (a path inside the served folder).
  std::string RemotePath(const std::string& relative) const { return prefix_ + "/" + relative; }

  FtpLogin Login() const {
    FtpLogin login;
    login.host = "127.0.0.1";
    login.serverPort = port_;
    login.userName = user_;
    login.password = password_;
    login.mode = kFtpModePassive;
    login.verbose = true;  // the commands sent show in the transcript
    return login;
  }

 private:
  std::filesystem::path root_;
  std::unique_ptr<VsftpdServer> vsftpd_;
  std::unique_ptr<PyFtpServer> pyftpd_;
  std::uint16_t port_ = 0;
  std::string user_;
  std::string password_;
  std::string prefix_;
};

// Skips (or, where privileged tests are required, fails) when the server
// could not start.
#define NETROVE_REQUIRE_FTP_PEER(peer)                                          \
  do {                                                                          \
    if ((peer).port() == 0) {                                                   \
      if (::netrove::test::PrivilegeRequired()) FAIL() << "FTP server missing"; \
      GTEST_SKIP() << "FTP server (vsftpd or python3-pyftpdlib) missing";       \
    }                                                                           \
  } while (false)

}  // namespace netrove::test
