#include "widgets/keyring_passwords.h"

#include <libsecret/secret.h>

#include <string>

namespace netrove {
namespace {

const SecretSchema* Schema() {
  static const SecretSchema schema = {"org.netrove.Password",
                                      SECRET_SCHEMA_NONE,
                                      {
                                          {"service", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                          {"server", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                          {"port", SECRET_SCHEMA_ATTRIBUTE_INTEGER},
                                          {"user", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                          {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING},
                                      },
                                      0,
                                      nullptr,
                                      nullptr,
                                      nullptr,
                                      nullptr,
                                      nullptr,
                                      nullptr,
                                      nullptr};
  return &schema;
}

// True when a Secret Service is on the session bus: without one every call
// would fail (or start a prompt that cannot be answered).
bool KeyringAnswers() {
  GError* error = nullptr;
  SecretService* service = secret_service_get_sync(SECRET_SERVICE_NONE, nullptr, &error);
  if (error != nullptr) g_error_free(error);
  if (service == nullptr) return false;
  g_object_unref(service);
  // Getting the proxy does not prove a service owns the name: look a value up.
  gchar* none = secret_password_lookup_sync(Schema(), nullptr, &error, "service", "probe", "server",
                                            "", "port", 0, "user", "", nullptr);
  secret_password_free(none);
  const bool answered = error == nullptr;
  if (error != nullptr) g_error_free(error);
  return answered;
}

}  // namespace

CKeyringPasswords::CKeyringPasswords() : keyring_(KeyringAnswers()) {}

IPasswordStore& DesktopPasswords() {
  static CKeyringPasswords passwords;
  return passwords;
}

std::optional<std::string> CKeyringPasswords::Find(const PasswordKey& key) {
  if (auto cached = session_.Find(key)) return cached;
  if (!keyring_) return std::nullopt;
  GError* error = nullptr;
  gchar* found = secret_password_lookup_sync(
      Schema(), nullptr, &error, "service", key.service.c_str(), "server", key.host.c_str(), "port",
      static_cast<int>(key.port), "user", key.user.c_str(), nullptr);
  if (error != nullptr) g_error_free(error);
  if (found == nullptr) return std::nullopt;
  std::string password(found);
  secret_password_free(found);
  session_.Remember(key, password);
  return password;
}

void CKeyringPasswords::Remember(const PasswordKey& key, const std::string& password) {
  session_.Remember(key, password);
  if (!keyring_) return;
  const std::string label = "Netrove " + key.service + " " + key.user + "@" + key.host;
  GError* error = nullptr;
  secret_password_store_sync(Schema(), SECRET_COLLECTION_DEFAULT, label.c_str(), password.c_str(),
                             nullptr, &error, "service", key.service.c_str(), "server",
                             key.host.c_str(), "port", static_cast<int>(key.port), "user",
                             key.user.c_str(), nullptr);
  if (error != nullptr) g_error_free(error);
}

void CKeyringPasswords::Forget(const PasswordKey& key) {
  session_.Forget(key);
  if (!keyring_) return;
  GError* error = nullptr;
  secret_password_clear_sync(Schema(), nullptr, &error, "service", key.service.c_str(), "server",
                             key.host.c_str(), "port", static_cast<int>(key.port), "user",
                             key.user.c_str(), nullptr);
  if (error != nullptr) g_error_free(error);
}

}  // namespace netrove
