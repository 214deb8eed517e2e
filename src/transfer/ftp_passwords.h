#pragma once
// The passwords of an FTP login that outlive the Login page: the firewall
// proxy's, and the user's when the user asks for it to be remembered. They
// live in the password store (the desktop keyring when one runs), never in
// the settings file. Earlier versions wrote the proxy's password into the
// settings file as "Proxy Password"; such a password keeps working, and
// moves into the keyring the first time it is used.
#include <optional>
#include <string>

#include "base/password_store.h"
#include "transfer/ftp_connection.h"

namespace netrove {

PasswordKey FtpUserPasswordKey(const FtpLogin& login);
PasswordKey FtpProxyPasswordKey(const FtpLogin& login);

// The proxy user's password for `login`'s proxy: the store's, else one the
// settings file still holds (moved into the store when the store lasts).
std::optional<std::string> RecallFtpProxyPassword(const FtpLogin& login, IPasswordStore& store);

// Keeps the proxy password the user typed: in the store only, so a copy an
// earlier version left in the settings file is cleared.
void KeepFtpProxyPassword(const FtpLogin& login, const std::string& password,
                          IPasswordStore& store);

}  // namespace netrove
