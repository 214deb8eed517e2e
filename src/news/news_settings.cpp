#include "news/news_settings.h"

#include <charconv>
#include <vector>

#include "base/settings_store.h"
#include "base/tool_key_values.h"

namespace netrove {
namespace {

// A text read into a buffer of the field's size: a longer stored value is
// cut, as the fields never hold more.
void ReadLimitedText(const CToolKey& key, std::string_view name, std::size_t limit,
                     std::string& text) {
  std::vector<char> buffer(limit + 1, '\0');
  if (key.ReadText(name, buffer.data(), buffer.size())) text = buffer.data();
}

void ReadArticleValues(const CToolKey& key, NewsSettings& settings) {
  key.ReadText(kNewsArticlesFont, settings.articlesFont);
  key.ReadDword(kNewsArticlesRetrieveWithHeader, settings.articlesRetrieveWithHeader);
  key.ReadDword(kNewsArticlesRetrievingMoreThan, settings.articlesRetrievingMoreThan);
  key.ReadDword(kNewsArticlesCheckForNew, settings.articlesCheckForNew);
  key.ReadDword(kNewsArticlesUnreadColour, settings.unreadColour);
  key.ReadDword(kNewsArticlesReadColour, settings.readColour);
  ReadLimitedText(key, kNewsArticlesFolder, kNewsPathLimit, settings.articlesFolder);
}

void ReadNewsgroupValues(const CToolKey& key, NewsSettings& settings) {
  settings.newsgroupsRetrieveTheListStored =
      key.ReadDword(kNewsNewsgroupsRetrieveTheList, settings.newsgroupsRetrieveTheList);
  key.ReadDword(kNewsNewsgroupsDisplay, settings.newsgroupsDisplay);
  ReadLimitedText(key, kNewsNewsgroupsFolder, kNewsPathLimit, settings.newsgroupsFolder);
}

void ReadSignInValues(const CToolKey& key, NewsSettings& settings) {
  std::uint32_t mode = static_cast<std::uint32_t>(settings.tlsMode);
  key.ReadDword(kNewsTlsMode, mode);
  // An unknown number keeps the default rather than turning TLS off.
  if (mode <= static_cast<std::uint32_t>(TlsMode::Implicit)) {
    settings.tlsMode = static_cast<TlsMode>(mode);
  }
  ReadLimitedText(key, kNewsSignInUser, kNewsFullNameLimit, settings.signInUser);
  ReadFlag(key, kNewsPlainSignIn, settings.plainSignIn);
}

void ReadUserValues(const CToolKey& key, NewsSettings& settings) {
  ReadLimitedText(key, kNewsUserFullName, kNewsFullNameLimit, settings.userFullName);
  ReadLimitedText(key, kNewsUserAddress, kNewsAddressLimit, settings.userAddress);
  key.ReadText(kNewsUserOrganization, settings.userOrganization);
  key.ReadDword(kNewsUserFrom, settings.userFrom);
  key.ReadDword(kNewsUserReplyTo, settings.userReplyTo);
}

void ReadWindowValues(const CToolKey& key, NewsSettings& settings) {
  ReadFlag(key, kNewsPostingPaneSaveSize, settings.postingPaneSaveSize);
  key.ReadDword(kNewsPostingPaneSize, settings.postingPaneSize);
  ReadFlag(key, kNewsPostingWndSizeAndPosition, settings.postingWndSizeAndPosition);
  key.ReadDword(kNewsWndLayoutLayout, settings.wndLayoutLayout);
  key.ReadDword(kNewsWndLayoutContents, settings.wndLayoutContents);
  ReadFlag(key, kNewsWndLayoutSizeAndPosition, settings.wndLayoutSizeAndPosition);
  key.ReadDword(kNewsColumnGroups, settings.columnGroups);
  key.ReadDword(kNewsColumnArticles, settings.columnArticles);
  key.ReadDword(kNewsColumnSubject, settings.columnSubject);
  key.ReadDword(kNewsColumnFrom, settings.columnFrom);
  key.ReadDword(kNewsColumnLines, settings.columnLines);
  key.ReadDword(kNewsColumnDate, settings.columnDate);
  key.ReadDword(kNewsColumnNumId, settings.columnNumId);
}

}  // namespace

std::pair<std::string_view, std::string_view> NewsLayoutSizeNames(std::uint32_t layout) {
  switch (layout) {
    case 1239:
      return {"wndLayoutLeft", "wndLayoutLeftSplit"};
    case 1240:
      return {"wndLayoutRight", "wndLayoutRightSplit"};
    case 1241:
      return {"wndLayoutTop", "wndLayoutTopSplit"};
    case 1242:
      return {"wndLayoutDown", "wndLayoutDownSplit"};
    case 1243:
      return {"wndLayoutVer", "wndLayoutVerSplit"};
    default:
      return {"wndLayoutHor", "wndLayoutHorSplit"};
  }
}

std::string FormatNewsFont(const NewsFont& font) {
  return std::to_string(font.height) + ";" + std::to_string(font.weight) + ";" +
         std::to_string(font.italic) + ";" + std::to_string(font.charSet) + ";" +
         std::to_string(font.pitchAndFamily) + ";" + font.face;
}

std::optional<NewsFont> ParseNewsFont(std::string_view text) {
  long numbers[5] = {};
  for (long& number : numbers) {
    const std::size_t end = text.find(';');
    if (end == std::string_view::npos) return std::nullopt;
    const auto [stop, error] = std::from_chars(text.data(), text.data() + end, number);
    if (error != std::errc() || stop != text.data() + end) return std::nullopt;
    text.remove_prefix(end + 1);
  }
  return NewsFont{numbers[0], numbers[1], numbers[2], numbers[3], numbers[4], std::string(text)};
}

std::uint16_t NewsDefaultPort(TlsMode mode) {
  return mode == TlsMode::Implicit ? kNewsTlsPort : kNewsDefaultPort;
}

NewsSettings ReadNewsSettings() {
  NewsSettings settings;
  const auto key = OpenToolKey(kNntpToolName, false);
  if (!key) return settings;
  ReadLimitedText(*key, kNewsServerLocation, kNewsPathLimit, settings.serverLocation);
  key->ReadDword(kNewsPortNumber, settings.portNumber);
  ReadSignInValues(*key, settings);
  key->ReadDword(kNewsReplyTimeout, settings.replyTimeout);
  ReadFlag(*key, kNewsSizeAndPosition, settings.sizeAndPosition);
  ReadArticleValues(*key, settings);
  ReadNewsgroupValues(*key, settings);
  ReadUserValues(*key, settings);
  ReadWindowValues(*key, settings);
  return settings;
}

std::uint32_t ReadNewsNumber(std::string_view valueName, std::uint32_t fallback) {
  std::uint32_t value = fallback;
  if (const auto key = OpenToolKey(kNntpToolName, false)) key->ReadDword(valueName, value);
  return value;
}

bool WriteNewsNumber(std::string_view valueName, std::uint32_t value) {
  return WriteToolValue(kNntpToolName, valueName, value);
}

bool WriteNewsText(std::string_view valueName, std::string_view text) {
  auto key = CreateToolKey(kNntpToolName);
  return key && key->WriteText(valueName, text);
}

bool WriteNewsColour(std::string_view valueName, NewsColour colour) {
  auto key = CreateToolKey(kNntpToolName);
  const std::vector<std::uint8_t> bytes{static_cast<std::uint8_t>(colour & 0xFF),
                                        static_cast<std::uint8_t>((colour >> 8) & 0xFF),
                                        static_cast<std::uint8_t>((colour >> 16) & 0xFF),
                                        static_cast<std::uint8_t>((colour >> 24) & 0xFF)};
  return key && key->WriteRaw(valueName, RegType::Sz, bytes);
}

}  // namespace netrove
