#pragma once
// The "NNTP" tool key: everything the newsreader windows, the posting
// windows and the Preferences sheet keep. Each value keeps its default when
// it is missing (or when the key does not exist).
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "base/tls.h"

namespace netrove {

inline constexpr std::string_view kNntpToolName = "NNTP";

inline constexpr std::string_view kNewsServerLocation = "ServerLocation";
inline constexpr std::string_view kNewsPortNumber = "PortNumber";
// How the server is reached: TlsMode as a number (0 off, 1 if offered,
// 2 required, 3 from the first byte).
inline constexpr std::string_view kNewsTlsMode = "TlsMode";
// The name to sign in with; none: no sign-in.
inline constexpr std::string_view kNewsSignInUser = "SignInUser";
// 1: the password may go to the server over a connection without TLS.
inline constexpr std::string_view kNewsPlainSignIn = "PlainSignIn";
// Seconds a server has for each whole reply; 0 waits for ever.
inline constexpr std::string_view kNewsReplyTimeout = "ReplyTimeout";
inline constexpr std::uint32_t kNewsDefaultReplyTimeout = 60;
inline constexpr std::string_view kNewsSizeAndPosition = "SizeAndPosition";
inline constexpr std::string_view kNewsArticlesFont = "articlesFont";
inline constexpr std::string_view kNewsArticlesRetrieveWithHeader = "articlesRetrieveWithHeader";
inline constexpr std::string_view kNewsArticlesRetrievingMoreThan = "articlesRetrievingMoreThan";
inline constexpr std::string_view kNewsArticlesCheckForNew = "articlesCheckForNew";
inline constexpr std::string_view kNewsArticlesUnreadColour = "articlesUnreadArticles";
inline constexpr std::string_view kNewsArticlesReadColour = "articlesReadArticles";
inline constexpr std::string_view kNewsArticlesFolder = "articlesFolder";
inline constexpr std::string_view kNewsNewsgroupsRetrieveTheList = "newsgroupsRetrieveTheList";
inline constexpr std::string_view kNewsNewsgroupsDisplay = "newsgroupsDisplay";
inline constexpr std::string_view kNewsNewsgroupsFolder = "newsgroupsFolder";
inline constexpr std::string_view kNewsPostingPaneSaveSize = "postingPnSaveSize";
inline constexpr std::string_view kNewsPostingPaneSize = "postingPnSize";
inline constexpr std::string_view kNewsPostingWndSizeAndPosition = "postingWndSizeAndPosition";
inline constexpr std::string_view kNewsUserFullName = "userFullName";
inline constexpr std::string_view kNewsUserAddress = "userE-MailAddress";
inline constexpr std::string_view kNewsUserOrganization = "userOrganization";
inline constexpr std::string_view kNewsUserFrom = "userFrom";
inline constexpr std::string_view kNewsUserReplyTo = "userReplyTo";
inline constexpr std::string_view kNewsWndLayoutLayout = "wndLayoutLayout";
inline constexpr std::string_view kNewsWndLayoutContents = "wndLayoutContents";
inline constexpr std::string_view kNewsWndLayoutSizeAndPosition = "wndLayoutSize&Position";
inline constexpr std::string_view kNewsColumnGroups = "columnGroups";
inline constexpr std::string_view kNewsColumnArticles = "columnArticles";
inline constexpr std::string_view kNewsColumnSubject = "columnSubject";
inline constexpr std::string_view kNewsColumnFrom = "columnFrom";
inline constexpr std::string_view kNewsColumnLines = "columnLines";
inline constexpr std::string_view kNewsColumnDate = "columnDate";
inline constexpr std::string_view kNewsColumnNumId = "columnNumID";

// Longest texts the fields and the readers take.
inline constexpr std::size_t kNewsPathLimit = 260;
inline constexpr std::size_t kNewsFullNameLimit = 255;
inline constexpr std::size_t kNewsAddressLimit = 63;

inline constexpr std::uint16_t kNewsDefaultPort = 119;
// The port of news in TLS from the first byte.
inline constexpr std::uint16_t kNewsTlsPort = 563;
// The port a TLS choice goes with when none is given.
std::uint16_t NewsDefaultPort(TlsMode mode);

// The display modes of the group list, stored as their command ids.
inline constexpr std::uint32_t kNewsDisplayAll = 32869;
inline constexpr std::uint32_t kNewsDisplaySubscribed = 32867;
inline constexpr std::uint32_t kNewsDisplayUnsubscribed = 32868;

// The six pane layouts and six pane contents of a newsreader window.
inline constexpr std::uint32_t kNewsFirstLayout = 1239;
inline constexpr std::uint32_t kNewsLastLayout = 1244;
inline constexpr std::uint32_t kNewsFirstContents = 1245;
inline constexpr std::uint32_t kNewsLastContents = 1250;
inline constexpr std::uint32_t kNewsDefaultPaneSize = 190;
inline constexpr std::uint32_t kNewsDefaultSplitSize = 90;
// Column widths of the group and article lists when none are stored.
inline constexpr int kNewsDefaultGroupsWidth = 100;
inline constexpr int kNewsDefaultArticlesWidth = 60;
inline constexpr int kNewsDefaultArticleColumnWidth = 100;

// The two splitter-size values of a layout (an unknown layout uses the
// three-rows arrangement's, as the window does).
std::pair<std::string_view, std::string_view> NewsLayoutSizeNames(std::uint32_t layout);

// A colour as the store holds it: 0x00BBGGRR.
using NewsColour = std::uint32_t;
inline constexpr NewsColour kNewsDefaultReadColour = 0x00808080;

struct NewsSettings {
  std::string serverLocation = "news";
  std::uint32_t portNumber = kNewsDefaultPort;
  // TLS where the server offers it: a server that does not is read as
  // before, one that does keeps what is read private.
  TlsMode tlsMode = TlsMode::IfOffered;
  std::string signInUser;
  bool plainSignIn = false;
  std::uint32_t replyTimeout = kNewsDefaultReplyTimeout;
  bool sizeAndPosition = false;
  std::string articlesFont;
  std::uint32_t articlesRetrieveWithHeader = 0;
  std::uint32_t articlesRetrievingMoreThan = 100;
  std::uint32_t articlesCheckForNew = 0;
  // Read articles are grey until the user picks colours, so the two differ
  // from the first start.
  NewsColour unreadColour = 0;
  NewsColour readColour = kNewsDefaultReadColour;
  std::string articlesFolder;
  // 0 yes, 1 no, 2 ask. Connect treats a missing value as "ask"; the
  // Newsgroups page shows it as its first choice.
  std::uint32_t newsgroupsRetrieveTheList = 2;
  bool newsgroupsRetrieveTheListStored = false;
  std::uint32_t newsgroupsDisplay = kNewsDisplayAll;
  std::string newsgroupsFolder;
  bool postingPaneSaveSize = false;
  std::uint32_t postingPaneSize = 100;
  bool postingWndSizeAndPosition = false;
  std::string userFullName;
  std::string userAddress;
  std::string userOrganization;
  std::uint32_t userFrom = 0;
  std::uint32_t userReplyTo = 0;
  std::uint32_t wndLayoutLayout = kNewsFirstLayout;
  std::uint32_t wndLayoutContents = kNewsFirstContents;
  bool wndLayoutSizeAndPosition = false;
  std::uint32_t columnGroups = 100;
  std::uint32_t columnArticles = 60;
  std::uint32_t columnSubject = 100;
  std::uint32_t columnFrom = 100;
  std::uint32_t columnLines = 100;
  std::uint32_t columnDate = 100;
  std::uint32_t columnNumId = 100;
};

// The article text font as articlesFont keeps it: "%ld;%ld;%ld;%ld;%ld;%s"
// with the height (negative: character height in pixels), weight (100 to
// 900), italic flag, character set, pitch and family, and face name.
struct NewsFont {
  long height = 0;
  long weight = 400;
  long italic = 0;
  long charSet = 0;
  long pitchAndFamily = 0;
  std::string face;
  bool operator==(const NewsFont&) const = default;
};
std::string FormatNewsFont(const NewsFont& font);
// Nothing when the text is empty or a number is missing or malformed.
std::optional<NewsFont> ParseNewsFont(std::string_view text);

// Reads the whole key once.
NewsSettings ReadNewsSettings();
// One number, or `fallback` when missing (the layout sizes, for example).
std::uint32_t ReadNewsNumber(std::string_view valueName, std::uint32_t fallback);

// Create the key if needed and write one value. False when the store
// could not be written.
bool WriteNewsNumber(std::string_view valueName, std::uint32_t value);
bool WriteNewsText(std::string_view valueName, std::string_view text);
// The colours are text-typed values holding the colour's 4 raw bytes.
bool WriteNewsColour(std::string_view valueName, NewsColour colour);

}  // namespace netrove
