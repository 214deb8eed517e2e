#pragma once
// Passwords in the desktop keyring through libsecret (the Secret Service
// that GNOME Keyring and KWallet provide). When no keyring answers, the
// passwords are kept for this session only and nothing is written: a
// password is then asked once per session.
#include "base/password_store.h"

namespace netrove {

class CKeyringPasswords : public IPasswordStore {
 public:
  CKeyringPasswords();
  std::optional<std::string> Find(const PasswordKey& key) override;
  void Remember(const PasswordKey& key, const std::string& password) override;
  void Forget(const PasswordKey& key) override;
  // A keyring answered when this store was made.
  bool Lasting() const override { return keyring_; }

 private:
  bool keyring_ = false;
  CSessionPasswords session_;  // without a keyring, and as a cache with one
};

// The passwords of this program's windows, made on first use: the keyring
// when one answers, otherwise kept for this session. GUI thread.
IPasswordStore& DesktopPasswords();

}  // namespace netrove
