#pragma once
// What the NNTP connection tells its owner, as typed events. The reader
// thread raises them and never waits for an answer: everything that steers
// a command (how many headers a walk wants, which articles it already has)
// travels with the command when it is queued.
#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "base/tls.h"

namespace netrove {

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
  // After the greeting: what the server is, and the switch to a reader.
  kNntpCapabilities = 16,
  kNntpModeReader = 17,
  // A walk's range from the overview, by its standard name or the old one.
  kNntpOver = 18,
  kNntpXover = 19,
  // Securing the connection in place, and signing in.
  kNntpStartTls = 20,
  kNntpAuthUser = 21,
  kNntpAuthPass = 22,
};
inline constexpr int kNntpCommandCount = 23;

// The command's keyword ("OPEN", "ARTICLE" ...); "" outside the table.
std::string_view NntpKeyword(int code);

// A window that a POST's outcome goes to (the posting windows).
using NntpWindow = std::uintptr_t;

enum class NntpPostOutcome {
  Posted,      // 240
  NotAllowed,  // 440
  Failed,      // 441
  Unanswered,  // refused otherwise, not sent, or the connection ended first
};

// A group's figures from its "211" reply.
struct NntpGroupCounts {
  long count = 0;
  long first = 0;
  long last = 0;
};

enum class NntpGroupProblem {
  Empty,  // no articles, or the walk's starting point is not on the server
  Gone,   // 411: no such group
};

// One article's header block and its number from the "221" line.
struct NntpHeaderBlock {
  long number = 0;
  std::string text;
};

// A header walk: `count` headers wanted, stepping with LAST (older) or NEXT
// (newer). With `from` the walk starts next to that article (STAT from,
// then one step); with `fromItself` it starts on it. `known` are the
// numbers the owner has filed already: they are passed on but not counted.
// With `group` a GROUP comes first, so the server sees the group's current
// range (a server fixes it when GROUP is sent); with a count of 0 that GROUP
// is all.
struct NntpWalk {
  int step = kNntpLast;
  std::optional<long> from;
  bool fromItself = false;
  long count = 0;
  std::set<long> known;
  std::optional<std::string> group;
};

// How a connection ended.
enum class NntpEnd {
  Asked,     // Disconnect or Close
  ByServer,  // the server closed it
  Failed,    // connect or a socket failed (already reported), or the server misbehaved
};

// The events, raised on the reader thread (BusyChanged also on the thread
// that queues into an empty queue). They must return at once; a window
// moves them onto its own thread.
class INntpEvents {
 public:
  virtual ~INntpEvents() = default;
  virtual void BusyChanged(bool busy) = 0;
  // The greeting: 200 (posting allowed) or 201.
  virtual void Greeted(bool postingAllowed) = 0;
  // A LIST block, unstuffed, CR LF lines.
  virtual void GroupListArrived(std::string list) = 0;
  // A GROUP was answered; `refreshed` when it opened a walk rather than
  // the group.
  virtual void GroupSelected(const NntpGroupCounts& counts, bool refreshed) = 0;
  virtual void GroupUnavailable(NntpGroupProblem problem) = 0;
  // Header blocks of a walk, in the order the walk met them.
  virtual void HeadersArrived(std::vector<NntpHeaderBlock> headers, int step) = 0;
  // An ARTICLE or BODY: its text, or nothing when the server does not have it.
  virtual void ArticleArrived(std::optional<std::string> text) = 0;
  // Once for every window of every POST.
  virtual void PostEnded(NntpWindow window, NntpPostOutcome outcome, const std::string& reply) = 0;
  // The server refused a command (its reply, which says why).
  virtual void CommandRefused(int command, const std::string& reply) = 0;
  // The server's certificate was not trusted (the connection then ends):
  // the report says why and describes the certificate.
  virtual void CertificateNotTrusted(const TlsHandshakeReport& report) = 0;
  // The reader thread has ended.
  virtual void Closed(NntpEnd end) = 0;
};

}  // namespace netrove
