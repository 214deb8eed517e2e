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
  return settings;
}

bool WriteMailSetting(std::string_view valueName, std::string_view text) {
  auto key = CreateToolKey(kMailToolName);
  return key && key->WriteText(valueName, text);
}

}  // namespace netrove
