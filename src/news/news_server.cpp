#include "news/news_server.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>

#include "base/settings_store.h"
#include "base/text_lines.h"
#include "base/tool_message.h"
#include "base/user_paths.h"
#include "news/news_settings.h"

namespace netrove {
namespace {

constexpr std::string_view kNewsreaderToolName = "NNTP";

bool IsSafeByte(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '_' || c == '+' || c == '.';
}

// Holds an exclusive lock on the newsrc's lock file while it lives, so a
// read-modify-write by another process cannot interleave.
class CNewsrcLock {
 public:
  explicit CNewsrcLock(const std::filesystem::path& newsrc) {
    const std::filesystem::path lockPath = newsrc.string() + ".lock";
    descriptor_ = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (descriptor_ >= 0) {
      while (::flock(descriptor_, LOCK_EX) != 0 && errno == EINTR) {
      }
    }
  }
  ~CNewsrcLock() {
    if (descriptor_ >= 0) ::close(descriptor_);
  }
  CNewsrcLock(const CNewsrcLock&) = delete;
  CNewsrcLock& operator=(const CNewsrcLock&) = delete;

 private:
  int descriptor_ = -1;
};

// The whole file, or the errno value that stopped the reading.
int ReadWholeFile(const std::filesystem::path& path, std::string& text) {
  const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (descriptor < 0) return errno;
  char chunk[65536];
  int error = 0;
  for (;;) {
    const ssize_t got = ::read(descriptor, chunk, sizeof chunk);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) error = errno;
    if (got <= 0) break;
    text.append(chunk, static_cast<std::size_t>(got));
  }
  ::close(descriptor);
  return error;
}

bool WriteAll(int descriptor, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t wrote = ::write(descriptor, bytes.data(), bytes.size());
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(wrote));
  }
  return true;
}

// Writes `text` to a new file beside `path` and renames it over `path`;
// the errno value of the first failure, 0 on success.
int ReplaceFile(const std::filesystem::path& path, std::string_view text) {
  std::string temporary = path.string() + ".XXXXXX";
  const int descriptor = ::mkstemp(temporary.data());
  if (descriptor < 0) return errno;
  int error = 0;
  if (!WriteAll(descriptor, text) || ::fsync(descriptor) != 0) error = errno ? errno : EIO;
  if (::close(descriptor) != 0 && error == 0) error = errno;
  if (error == 0 && ::rename(temporary.c_str(), path.c_str()) != 0) error = errno;
  if (error != 0) ::unlink(temporary.c_str());
  return error;
}

// A LIST line names its group before the first blank.
void AddListedGroup(CNewsServer& server, std::string_view line) {
  const std::size_t blank = line.find(' ');
  const std::string name(line.substr(0, blank));
  if (name.empty()) return;
  server.groups.try_emplace(name);
}

}  // namespace

std::string CorruptedFileText(const std::filesystem::path& path) {
  return path.string() + "\r\nThe specified file has corrupted data or data in an unknown format.";
}

std::size_t ParseNewsrc(std::string_view text, CNewsServer& server) {
  std::size_t malformed = 0;
  while (!text.empty()) {
    const std::string_view line = TakeLine(text);
    if (line.empty()) continue;
    std::size_t marker = line.find(kUnsubscribedMarker);
    if (marker == std::string_view::npos) marker = line.find(kSubscribedMarker);
    if (marker == std::string_view::npos || marker == 0) {
      server.keptLines.emplace_back(line);
      ++malformed;
      continue;
    }
    server.groups.try_emplace(std::string(line.substr(0, marker)),
                              std::string(line.substr(marker)));
  }
  return malformed;
}

std::string FormatNewsrc(CNewsServer& server) {
  std::string text;
  for (auto& [name, group] : server.groups) {
    text += name;
    text += group.Rebuild();
    text += "\r\n";
  }
  for (const std::string& line : server.keptLines) {
    text += line;
    text += "\r\n";
  }
  return text;
}

void LoadNewsrc(CNewsServer& server, IMainWindowReporter& reporter) {
  std::string text;
  int error;
  {
    CNewsrcLock lock(server.newsrcPath);
    error = ReadWholeFile(server.newsrcPath, text);
  }
  if (error == ENOENT) return;
  if (error != 0) {
    reporter.PostSystemError(error);
    server.writable = false;
    return;
  }
  if (ParseNewsrc(text, server) > 0) {
    reporter.PostToolMessage(kSourceNewsreader, CorruptedFileText(server.newsrcPath));
  }
}

void MergeNewsrc(CNewsServer& server, std::string_view fileText) {
  CNewsServer onDisk;
  ParseNewsrc(fileText, onDisk);
  for (auto& [name, group] : onDisk.groups) {
    auto [entry, created] = server.groups.try_emplace(name, group.RangeText());
    if (!created) entry->second.MergeRead(group.RangeText());
  }
  for (std::string& line : onDisk.keptLines) {
    if (std::find(server.keptLines.begin(), server.keptLines.end(), line) ==
        server.keptLines.end()) {
      server.keptLines.push_back(std::move(line));
    }
  }
}

// Under the lock, what another program wrote since this one read the file
// (netrove-cli, another copy, tin) is merged in first, so neither change
// undoes the other.
bool WriteNewsrc(CNewsServer& server, IMainWindowReporter& reporter) {
  if (!server.writable) return false;
  CNewsrcLock lock(server.newsrcPath);
  std::string current;
  if (ReadWholeFile(server.newsrcPath, current) == 0) MergeNewsrc(server, current);
  const int error = ReplaceFile(server.newsrcPath, FormatNewsrc(server));
  if (error != 0) reporter.PostSystemError(error);
  return error == 0;
}

std::string SafePathComponent(std::string_view name) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string safe;
  for (std::size_t i = 0; i < name.size(); ++i) {
    const char c = name[i];
    if (IsSafeByte(c) && !(i == 0 && c == '.')) {
      safe += c;
      continue;
    }
    const auto byte = static_cast<unsigned char>(c);
    safe += '%';
    safe += kHex[byte >> 4];
    safe += kHex[byte & 15];
  }
  return safe.empty() ? std::string("%") : safe;
}

std::string NewsServerName(std::string_view host, std::uint16_t port) {
  std::string name(host);
  if (port != kNewsDefaultPort) {
    name += '+';
    name += std::to_string(port);
  }
  return name;
}

std::filesystem::path NewsrcPath(const std::string& folderSetting, std::string_view server) {
  const std::filesystem::path folder =
      folderSetting.empty() ? DataFolder() / "News" : std::filesystem::path(folderSetting);
  return folder / SafePathComponent(server) / "newsrc";
}

std::string StoredNewsgroupsFolder() {
  std::string folder;
  if (const auto key = OpenToolKey(kNewsreaderToolName, false)) {
    key->ReadText("newsgroupsFolder", folder);
  }
  return folder;
}

void AddDefaultGroups(CNewsServer& server) {
  for (const std::string_view name : kDefaultGroups) server.groups.try_emplace(std::string(name));
}

void AddGroupsFromList(CNewsServer& server, std::string_view listText) {
  while (!listText.empty()) {
    const std::string_view line = TakeLine(listText);
    AddListedGroup(server, line);
  }
}

void CNewsServerTable::Join(const std::string& server, NntpWindow window,
                            const std::filesystem::path& newsrc, IMainWindowReporter& reporter) {
  std::lock_guard lock(mutex_);
  auto [entry, created] = servers_.try_emplace(server);
  if (created) {
    entry->second.newsrcPath = newsrc;
    std::error_code ignored;
    std::filesystem::create_directories(newsrc.parent_path(), ignored);
    LoadNewsrc(entry->second, reporter);
  }
  entry->second.windows.insert(window);
}

void CNewsServerTable::Leave(const std::string& server, NntpWindow window,
                             IMainWindowReporter& reporter) {
  std::lock_guard lock(mutex_);
  auto entry = servers_.find(server);
  if (entry == servers_.end() || entry->second.windows.erase(window) == 0) return;
  if (!entry->second.windows.empty()) return;
  WriteNewsrc(entry->second, reporter);
  servers_.erase(entry);
}

void CNewsServerTable::Save(const std::string& server, IMainWindowReporter& reporter) {
  std::lock_guard lock(mutex_);
  auto entry = servers_.find(server);
  if (entry != servers_.end()) WriteNewsrc(entry->second, reporter);
}

CNewsServerTable& NewsServers() {
  static CNewsServerTable table;
  return table;
}

}  // namespace netrove
