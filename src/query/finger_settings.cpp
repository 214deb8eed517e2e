#include "query/finger_settings.h"

#include <array>

#include "base/settings_store.h"
#include "base/tool_key_values.h"
#include "query/query_request.h"

namespace netrove {

FingerSettings ReadFingerSettings() {
  FingerSettings settings;
  const auto key = OpenToolKey(kFingerToolName, false);
  if (!key) return settings;
  std::array<char, kServerTextLimit + 1> server{};
  if (key->ReadText(kServerLocationValue, server.data(), server.size())) {
    settings.serverLocation = server.data();
  }
  ReadFlag(*key, kQueryTokenValue, settings.queryToken);
  return settings;
}

bool WriteFingerServer(std::string_view server) {
  auto key = CreateToolKey(kFingerToolName);
  return key && key->WriteText(kServerLocationValue, server);
}

}  // namespace netrove
