#pragma once
// The "Mail" tool key: the user's mail identity and servers, as the Mail
// page of Customize edits them. The mail tester uses two of them: the
// sender address and the outgoing server.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/tls.h"

namespace netrove {

inline constexpr std::string_view kMailToolName = "Mail";

inline constexpr std::string_view kMailNameValue = "Name";
inline constexpr std::string_view kMailAddressValue = "E-Mail Address";
inline constexpr std::string_view kMailUserNameValue = "User Name";
inline constexpr std::string_view kOutgoingMailValue = "Outgoing Mail";
inline constexpr std::string_view kIncomingMailValue = "Incoming Mail";
// How the tester reaches the outgoing server: its port (REG_DWORD, 0 for
// the TLS choice's own) and the TLS choice (REG_SZ "off", "if-offered",
// "required", "implicit").
inline constexpr std::string_view kOutgoingPortValue = "Outgoing Port";
inline constexpr std::string_view kOutgoingSecurityValue = "Outgoing Security";

// The fields' sizes in bytes of their UTF-8 text, without the terminating
// zero the store adds.
inline constexpr std::size_t kMailNameMaxBytes = 75;
inline constexpr std::size_t kMailFieldMaxBytes = 257;

struct MailSettings {
  std::string name;
  std::string address;
  std::string userName;
  std::string outgoingMail;
  std::string incomingMail;
  std::int32_t port = 0;
  // STARTTLS where the server offers it: a server that does gets a verified
  // connection, one that does not is spoken to as before.
  TlsMode tls = TlsMode::IfOffered;
};

// Every value read whole (a value longer than its field is returned as
// stored, for the caller to refuse); a missing value reads as empty.
// Nothing when the key does not exist or the store cannot be read.
std::optional<MailSettings> ReadMailSettings();

// Creates the key if needed and writes one text value (REG_SZ). False when
// the store could not be written.
bool WriteMailSetting(std::string_view valueName, std::string_view text);
bool WriteMailPort(std::int32_t port);

}  // namespace netrove
