#include "query/nicname_settings.h"

#include <array>

#include "base/settings_store.h"
#include "base/tool_key_values.h"
#include "query/query_request.h"

namespace netrove {
namespace {

std::string ReadServerText(const CToolKey& key) {
  std::array<char, kServerTextLimit + 1> server{};
  key.ReadText(kDBaseLocationValue, server.data(), server.size());
  return server.data();
}

}  // namespace

WhoIsServerChoice WhoIsServerChoiceFromStored(std::uint32_t stored) {
  if (stored == 0) return WhoIsServerChoice::Default;
  if (stored == 1) return WhoIsServerChoice::Alternative;
  return WhoIsServerChoice::Other;
}

NicNameSettings ReadNicNameSettings() {
  NicNameSettings settings;
  const auto key = OpenToolKey(kNicNameToolName, false);
  if (!key) return settings;
  std::uint32_t stored = 0;
  key->ReadDword(kDBaseValue, stored);
  settings.choice = WhoIsServerChoiceFromStored(stored);
  settings.otherServer = ReadServerText(*key);
  std::uint32_t stopAtFirst = 0;
  key->ReadDword(kStopAtFirstAnswerValue, stopAtFirst);
  settings.followReferrals = stopAtFirst == 0;
  return settings;
}

std::string ReadOtherWhoIsServer() {
  const auto key = OpenToolKey(kNicNameToolName, false);
  return key ? ReadServerText(*key) : std::string();
}

bool WriteWhoIsServerChoice(WhoIsServerChoice choice) {
  return WriteToolValue(kNicNameToolName, kDBaseValue, static_cast<std::uint32_t>(choice));
}

bool WriteOtherWhoIsServer(std::string_view server) {
  auto key = CreateToolKey(kNicNameToolName);
  return key && key->WriteText(kDBaseLocationValue, server);
}

std::string WhoIsServerHost(WhoIsServerChoice choice, const std::string& otherServer) {
  switch (choice) {
    case WhoIsServerChoice::Default:
      return std::string(kDefaultWhoIsServer.host);
    case WhoIsServerChoice::Alternative:
      return std::string(kAlternativeWhoIsServer.host);
    case WhoIsServerChoice::Other:
      break;
  }
  return otherServer;
}

}  // namespace netrove
