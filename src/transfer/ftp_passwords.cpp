#include "transfer/ftp_passwords.h"

#include "base/settings_store.h"

namespace netrove {
namespace {

constexpr std::string_view kFtpKey = "FTP";
constexpr std::string_view kStoredProxyPassword = "Proxy Password";

std::string StoredProxyPassword() {
  std::string password;
  if (const auto key = OpenToolKey(kFtpKey, false)) key->ReadText(kStoredProxyPassword, password);
  return password;
}

// An empty value reads as "none", so clearing needs no new registry verb.
void ClearStoredProxyPassword() {
  if (auto key = OpenToolKey(kFtpKey, true)) key->WriteText(kStoredProxyPassword, "");
}

}  // namespace

PasswordKey FtpUserPasswordKey(const FtpLogin& login) {
  return {"ftp", login.host, login.serverPort, login.userName};
}

PasswordKey FtpProxyPasswordKey(const FtpLogin& login) {
  return {"ftp-proxy", login.proxyHost, login.proxyPort, login.proxyUser};
}

std::optional<std::string> RecallFtpProxyPassword(const FtpLogin& login, IPasswordStore& store) {
  const PasswordKey key = FtpProxyPasswordKey(login);
  if (auto known = store.Find(key)) return known;
  std::string stored = StoredProxyPassword();
  if (stored.empty()) return std::nullopt;
  // Without a keyring the file's copy is all there is: it stays until the
  // user types a new password.
  if (store.Lasting()) {
    store.Remember(key, stored);
    ClearStoredProxyPassword();
  }
  return stored;
}

void KeepFtpProxyPassword(const FtpLogin& login, const std::string& password,
                          IPasswordStore& store) {
  store.Remember(FtpProxyPasswordKey(login), password);
  if (!StoredProxyPassword().empty()) ClearStoredProxyPassword();
}

}  // namespace netrove
