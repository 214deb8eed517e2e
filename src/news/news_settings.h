#pragma once
// The newsreader's values in the "NNTP" key, with the defaults a reader
// keeps when a value is missing. Windows read them when they open; the
// settings pages write each value as it changes.
#include <cstdint>
#include <string>
#include <string_view>

namespace netrove {

inline constexpr std::string_view kNewsToolName = "NNTP";

// Display modes, stored as the command ids of the Newsgroups menu.
inline constexpr std::uint32_t kDisplayNewGroups = 0;
inline constexpr std::uint32_t kDisplaySubscribed = 32867;
inline constexpr std::uint32_t kDisplayUnsubscribed = 32868;
inline constexpr std::uint32_t kDisplayAll = 32869;

// newsgroupsRetrieveTheList.
inline constexpr std::uint32_t kRetrieveListYes = 0;
inline constexpr std::uint32_t kRetrieveListNo = 1;
inline constexpr std::uint32_t kRetrieveListAsk = 2;

struct NewsSettings {
  std::string serverLocation = "news";
  std::uint32_t portNumber = 119;
  std::uint32_t sizeAndPosition = 0;
  std::string articlesFont;
  std::uint32_t articlesRetrieveWithHeader = 0;  // 0: ARTICLE, else BODY
  std::uint32_t articlesRetrievingMoreThan = 100;
  std::uint32_t articlesCheckForNew = 0;    // minutes, 0 never
  std::uint32_t articlesUnreadArticles = 0;  // 0x00BBGGRR
  std::uint32_t articlesReadArticles = 0;
  std::string articlesFolder;
  std::uint32_t newsgroupsRetrieveTheList = kRetrieveListAsk;
  std::uint32_t newsgroupsDisplay = kDisplayAll;
  std::string newsgroupsFolder;
  std::uint32_t postingPnSaveSize = 0;
  std::uint32_t postingPnSize = 100;
  std::uint32_t postingWndSizeAndPosition = 0;
  std::string userFullName;
  std::string userEMailAddress;
  std::string userOrganization;
  std::uint32_t userFrom = 0;
  std::uint32_t userReplyTo = 0;
  std::uint32_t wndLayoutLayout = 1239;
  std::uint32_t wndLayoutContents = 1245;
  std::uint32_t wndLayoutSizeAndPosition = 0;
};

NewsSettings ReadNewsSettings();

// The two splitter sizes of a layout (wndLayoutLeft and wndLayoutLeftSplit
// for 1239 ...); any layout outside 1239..1244 uses the 1244 pair.
struct PaneSizes {
  std::uint32_t first = 190;
  std::uint32_t split = 90;
};
PaneSizes ReadPaneSizes(std::uint32_t layout);
void WritePaneSizes(std::uint32_t layout, PaneSizes sizes);

// A column width ("columnGroups" ...): `fallback` when missing.
std::uint32_t ReadColumnWidth(std::string_view name, std::uint32_t fallback);
void WriteColumnWidth(std::string_view name, std::uint32_t width);

}  // namespace netrove
