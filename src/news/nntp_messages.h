#pragma once
// The messages between the NNTP connection and the newsreader's panes. Their
// numbers are the protocol between the windows, so they are kept by name.
// The connection delivers them through INntpWindows, which the panes
// implement (queuing onto the GUI thread), tests with a recorder and the
// command-line front end directly.
#include <cstdint>
#include <string_view>
#include <vector>

#include "base/tool_message.h"

namespace netrove {

inline constexpr unsigned WM_NNTP_BUSY = kWmUser + 155;
inline constexpr unsigned WM_NNTP_CLOSED = kWmUser + 156;
inline constexpr unsigned WM_NNTP_GROUPLIST = kWmUser + 157;
inline constexpr unsigned WM_NNTP_HEADERS = kWmUser + 158;
inline constexpr unsigned WM_NNTP_ARTICLE = kWmUser + 159;
inline constexpr unsigned WM_NNTP_GROUPINFO = kWmUser + 160;
inline constexpr unsigned WM_NNTP_GETNEW = kWmUser + 161;
inline constexpr unsigned WM_NNTP_FAULT = kWmUser + 162;
inline constexpr unsigned WM_NNTP_STATUS = kWmUser + 163;
inline constexpr unsigned WM_NNTP_STARTTIMER = kWmUser + 164;
inline constexpr unsigned WM_NNTP_GETPREVIOUS = kWmUser + 165;
inline constexpr unsigned WM_NNTP_FETCH = kWmUser + 171;
inline constexpr unsigned WM_NNTP_CANCONNECT = kWmUser + 172;
inline constexpr unsigned WM_NNTP_CANDISCONNECT = kWmUser + 173;
inline constexpr unsigned WM_NNTP_CONNECT = kWmUser + 174;
inline constexpr unsigned WM_NNTP_DISCONNECT = kWmUser + 175;
inline constexpr unsigned WM_NNTP_OPENGROUP = kWmUser + 176;
inline constexpr unsigned WM_NNTP_SERVERNAME = kWmUser + 177;
inline constexpr unsigned WM_NNTP_POST = kWmUser + 178;
inline constexpr unsigned WM_NNTP_COMPOSE = kWmUser + 179;
inline constexpr unsigned WM_NNTP_CHECKNEW = kWmUser + 181;
inline constexpr unsigned WM_NNTP_LOWERCOUNT = kWmUser + 182;

// wParam of WM_NNTP_CLOSED when the list window's display mode changes.
inline constexpr long kNntpClosedForModeChange = 1204;

// wParam of WM_NNTP_STATUS to a POST's windows when the POST ended without
// the server's verdict (refused with 5xx, the article could not be sent,
// the connection ended first): the article was not posted.
inline constexpr long kNntpPostUnanswered = 0;

// The command table: the code is the position.
enum NntpCommandCode : int {
  kNntpOpen = 0,
  kNntpArticle = 1,
  kNntpBody = 2,
  kNntpGroup = 3,
  kNntpHead = 4,
  kNntpHelp = 5,
  kNntpIhave = 6,
  kNntpLast = 7,
  kNntpList = 8,
  kNntpNewgroups = 9,
  kNntpNewnews = 10,
  kNntpNext = 11,
  kNntpPost = 12,
  kNntpQuit = 13,
  kNntpSlave = 14,
  kNntpStat = 15,
};
inline constexpr int kNntpCommandCount = 16;

// The command's keyword ("OPEN", "ARTICLE" ...); "" outside the table.
std::string_view NntpKeyword(int code);

// A window that a POST's outcome is posted to (the posting windows).
using NntpWindow = std::uintptr_t;

// The three panes of a newsreader window.
enum class NntpPane { List, Header, Text };

// One message. Texts are valid only during a Send: the receiver copies what
// it keeps.
struct NntpMessage {
  unsigned id = 0;
  long wParam = 0;
  long lParam = 0;
  std::string_view text;  // WM_NNTP_GROUPLIST, WM_NNTP_HEADERS, WM_NNTP_ARTICLE
  bool hasText = false;   // false: WM_NNTP_ARTICLE "not available", the list's first message
  int stepCommand = 0;    // WM_NNTP_HEADERS: the walk's step command
  int articleNumber = 0;  // WM_NNTP_HEADERS: the number of the "221" line
};

// What the panes implement. Send blocks the reader thread until the pane has
// handled the message and returns its result; it must return (with 0) once
// the pane is gone or closing. Post and Notify return at once.
class INntpWindows {
 public:
  virtual ~INntpWindows() = default;
  virtual long Send(NntpPane pane, const NntpMessage& message) = 0;
  virtual void Post(NntpPane pane, const NntpMessage& message) = 0;
  virtual void PostTo(NntpWindow window, const NntpMessage& message) = 0;
};

}  // namespace netrove
