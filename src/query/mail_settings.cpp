#include "query/mail_settings.h"

#include "base/settings_store.h"

namespace netrove {

std::optional<MailSettings> ReadMailSettings() {
  const auto key = OpenToolKey(kMailToolName, false);
  if (!key) return std::nullopt;
  MailSettings settings;
  key->ReadText(kMailNameValue, settings.name);
  key->ReadText(kMailAddressValue, settings.address);
  key->ReadText(kMailUserNameValue, settings.userName);
  key->ReadText(kOutgoingMailValue, settings.outgoingMail);
  key->ReadText(kIncomingMailValue, settings.incomingMail);
  std::uint32_t port = 0;
  if (key->ReadDword(kOutgoingPortValue, port) && port <= 65535)
    settings.port = static_cast<std::int32_t>(port);
  std::string security;
  if (key->ReadText(kOutgoingSecurityValue, security))
    settings.tls = TlsModeFromName(security).value_or(settings.tls);
  return settings;
}

bool WriteMailSetting(std::string_view valueName, std::string_view text) {
  auto key = CreateToolKey(kMailToolName);
  return key && key->WriteText(valueName, text);
}

bool WriteMailPort(std::int32_t port) {
  auto key = CreateToolKey(kMailToolName);
  return key && key->WriteDword(kOutgoingPortValue, static_cast<std::uint32_t>(port));
}

}  // namespace netrove
