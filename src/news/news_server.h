#pragma once
// What the newsreader remembers per news server: every group known, the
// windows connected to it, and its newsrc file, which is read when the first
// window connects and written when the last one leaves. The table of servers
// is shared by the whole process and guarded by one lock; the newsrc file is
// read and replaced under a file lock, so the command-line front end and the
// windows never interleave their updates.
#include <filesystem>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "news/newsgroup.h"
#include "news/nntp_events.h"

namespace netrove {

class IMainWindowReporter;

// The groups a server entry starts with when neither a newsrc nor a group
// list is at hand.
inline constexpr std::string_view kDefaultGroups[] = {"news.announce.newusers",
                                                      "news.newusers.questions"};

// "%1\r\nThe specified file has corrupted data or data in an unknown format."
std::string CorruptedFileText(const std::filesystem::path& path);

struct CNewsServer {
  std::map<std::string, CNewsgroup> groups;
  std::set<NntpWindow> windows;
  std::filesystem::path newsrcPath;
  // Lines of the file that are no group line, written back as they were.
  std::vector<std::string> keptLines;
  // False after the file existed but could not be read: writing it then
  // would replace the user's groups with whatever this session knows.
  bool writable = true;
};

// Reads newsrc text into `server`; a final line without LF counts. Returns
// how many lines were malformed (kept in keptLines).
std::size_t ParseNewsrc(std::string_view text, CNewsServer& server);
// The file's text: one "name" + range text + CR LF per group in name order,
// then the kept lines. Rebuilds the range texts.
std::string FormatNewsrc(CNewsServer& server);

// Adds what a newsrc's text holds to `server`: groups it lacks, the reads of
// groups it has, lines it does not keep yet.
void MergeNewsrc(CNewsServer& server, std::string_view fileText);

// Loads server.newsrcPath; a missing file is an empty one. Failures and a
// malformed line are reported once.
void LoadNewsrc(CNewsServer& server, IMainWindowReporter& reporter);
// Replaces the file with a complete new one (written, flushed, renamed),
// merged under the file's lock with what the file holds now. False,
// reported, when anything failed: the old file is then untouched.
bool WriteNewsrc(CNewsServer& server, IMainWindowReporter& reporter);

// A name as one path component that stays inside its folder: bytes other
// than letters, digits, "-", "_", "+" and "." (and a leading ".") become
// "%XX".
std::string SafePathComponent(std::string_view name);
// The name a server's group state and newsrc folder go by: the host, and
// "+port" after it when the port is not 119, so two servers on one host
// keep their read marks apart (a port never appears in a host name).
std::string NewsServerName(std::string_view host, std::uint16_t port);
// Where a server's newsrc lives: `folderSetting` (newsgroupsFolder), or the
// data folder's "News", then the server's folder and "newsrc".
std::filesystem::path NewsrcPath(const std::string& folderSetting, std::string_view server);
// The stored newsgroupsFolder value of the newsreader key ("" when none).
std::string StoredNewsgroupsFolder();

// Adds the two default groups, unsubscribed, where missing.
void AddDefaultGroups(CNewsServer& server);

// Adds the groups of a LIST block ("name last first flag" lines) that are
// not known yet, unsubscribed; known groups keep their state.
void AddGroupsFromList(CNewsServer& server, std::string_view listText);

class CNewsServerTable {
 public:
  // Enters `window` into the server's entry, creating it from the newsrc
  // when it is the first.
  void Join(const std::string& server, NntpWindow window, const std::filesystem::path& newsrc,
            IMainWindowReporter& reporter);
  // Takes `window` out of the entry; the last one out writes the newsrc and
  // frees the entry. A window that is not in the entry changes nothing.
  void Leave(const std::string& server, NntpWindow window, IMainWindowReporter& reporter);
  // Writes the server's newsrc now and keeps the entry (read marks are
  // saved while the session goes on, not only at its end).
  void Save(const std::string& server, IMainWindowReporter& reporter);
  // Runs `work` on the server's entry (nullptr when there is none) under
  // the table's lock.
  template <class Work>
  auto With(const std::string& server, Work work) {
    std::lock_guard lock(mutex_);
    auto found = servers_.find(server);
    return work(found == servers_.end() ? nullptr : &found->second);
  }

 private:
  std::mutex mutex_;
  std::map<std::string, CNewsServer> servers_;
};

// The process's table.
CNewsServerTable& NewsServers();

}  // namespace netrove
