#include "base/password_store.h"

namespace netrove {

std::optional<std::string> CSessionPasswords::Find(const PasswordKey& key) {
  std::lock_guard lock(mutex_);
  const auto found = passwords_.find(key);
  if (found == passwords_.end()) return std::nullopt;
  return found->second;
}

void CSessionPasswords::Remember(const PasswordKey& key, const std::string& password) {
  std::lock_guard lock(mutex_);
  passwords_[key] = password;
}

void CSessionPasswords::Forget(const PasswordKey& key) {
  std::lock_guard lock(mutex_);
  passwords_.erase(key);
}

}  // namespace netrove
