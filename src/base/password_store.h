#pragma once
// Where the windows keep the passwords a user lets them remember (FTP, news,
// mail, the FTP proxy): the desktop keyring when one runs (the ui's
// CKeyringPasswords), otherwise only in memory for this session, never
// written to a file.
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <tuple>

namespace netrove {

// Which password: the service ("ftp", "nntp", "smtp", "ftp-proxy"), the
// server and port, and the user name.
struct PasswordKey {
  std::string service;
  std::string host;
  std::uint16_t port = 0;
  std::string user;
  friend bool operator<(const PasswordKey& a, const PasswordKey& b) {
    return std::tie(a.service, a.host, a.port, a.user) <
           std::tie(b.service, b.host, b.port, b.user);
  }
};

class IPasswordStore {
 public:
  virtual ~IPasswordStore() = default;
  virtual std::optional<std::string> Find(const PasswordKey& key) = 0;
  virtual void Remember(const PasswordKey& key, const std::string& password) = 0;
  virtual void Forget(const PasswordKey& key) = 0;
  // The passwords outlive this session (a keyring keeps them).
  virtual bool Lasting() const = 0;
};

// Passwords for as long as the program runs. Any thread.
class CSessionPasswords : public IPasswordStore {
 public:
  std::optional<std::string> Find(const PasswordKey& key) override;
  void Remember(const PasswordKey& key, const std::string& password) override;
  void Forget(const PasswordKey& key) override;
  bool Lasting() const override { return false; }

 private:
  std::mutex mutex_;
  std::map<PasswordKey, std::string> passwords_;
};

}  // namespace netrove
