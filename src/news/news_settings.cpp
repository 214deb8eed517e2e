#include "news/news_settings.h"


#include "base/settings_store.h"

namespace netrove {
namespace {

struct SizeNames {
  std::string_view first;
  std::string_view split;
};

SizeNames PaneSizeNames(std::uint32_t layout) {
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

}  // namespace

NewsSettings ReadNewsSettings() {
  NewsSettings s;
  const auto key = OpenToolKey(kNewsToolName, false);
  if (!key) return s;
  key->ReadText("ServerLocation", s.serverLocation);
  key->ReadDword("PortNumber", s.portNumber);
  key->ReadDword("SizeAndPosition", s.sizeAndPosition);
  key->ReadText("articlesFont", s.articlesFont);
  key->ReadDword("articlesRetrieveWithHeader", s.articlesRetrieveWithHeader);
  key->ReadDword("articlesRetrievingMoreThan", s.articlesRetrievingMoreThan);
  key->ReadDword("articlesCheckForNew", s.articlesCheckForNew);
  key->ReadDword("articlesUnreadArticles", s.articlesUnreadArticles);
  key->ReadDword("articlesReadArticles", s.articlesReadArticles);
  key->ReadText("articlesFolder", s.articlesFolder);
  key->ReadDword("newsgroupsRetrieveTheList", s.newsgroupsRetrieveTheList);
  key->ReadDword("newsgroupsDisplay", s.newsgroupsDisplay);
  key->ReadText("newsgroupsFolder", s.newsgroupsFolder);
  key->ReadDword("postingPnSaveSize", s.postingPnSaveSize);
  key->ReadDword("postingPnSize", s.postingPnSize);
  key->ReadDword("postingWndSizeAndPosition", s.postingWndSizeAndPosition);
  key->ReadText("userFullName", s.userFullName);
  key->ReadText("userE-MailAddress", s.userEMailAddress);
  key->ReadText("userOrganization", s.userOrganization);
  key->ReadDword("userFrom", s.userFrom);
  key->ReadDword("userReplyTo", s.userReplyTo);
  key->ReadDword("wndLayoutLayout", s.wndLayoutLayout);
  key->ReadDword("wndLayoutContents", s.wndLayoutContents);
  key->ReadDword("wndLayoutSize&Position", s.wndLayoutSizeAndPosition);
  return s;
}

PaneSizes ReadPaneSizes(std::uint32_t layout) {
  PaneSizes sizes;
  if (const auto key = OpenToolKey(kNewsToolName, false)) {
    const SizeNames names = PaneSizeNames(layout);
    key->ReadDword(names.first, sizes.first);
    key->ReadDword(names.split, sizes.split);
  }
  return sizes;
}

void WritePaneSizes(std::uint32_t layout, PaneSizes sizes) {
  if (auto key = CreateToolKey(kNewsToolName)) {
    const SizeNames names = PaneSizeNames(layout);
    key->WriteDwords({{names.first, sizes.first}, {names.split, sizes.split}});
  }
}

std::uint32_t ReadColumnWidth(std::string_view name, std::uint32_t fallback) {
  if (const auto key = OpenToolKey(kNewsToolName, false)) key->ReadDword(name, fallback);
  return fallback;
}

void WriteColumnWidth(std::string_view name, std::uint32_t width) {
  if (auto key = CreateToolKey(kNewsToolName)) key->WriteDword(name, width);
}

}  // namespace netrove
