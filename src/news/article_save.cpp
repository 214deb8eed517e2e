#include "news/article_save.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <iterator>

#include "base/tool_message.h"
#include "base/user_paths.h"
#include "news/news_server.h"

namespace netrove {
namespace {

char Rotated(char c) {
  if (c >= 'a' && c <= 'z') return static_cast<char>('a' + (c - 'a' + 13) % 26);
  if (c >= 'A' && c <= 'Z') return static_cast<char>('A' + (c - 'A' + 13) % 26);
  return c;
}

// The first folder part of `file` that exists but is no folder, or
// `file` itself when it is a folder; empty when nothing is in the way.
std::filesystem::path InTheWay(const std::filesystem::path& file) {
  std::error_code error;
  std::filesystem::path partial;
  for (auto part = file.begin(); part != file.end(); ++part) {
    partial /= *part;
    if (std::next(part) == file.end()) break;
    if (std::filesystem::exists(partial, error) && !std::filesystem::is_directory(partial, error)) {
      return partial;
    }
  }
  if (std::filesystem::is_directory(file, error)) return file;
  return {};
}

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = write(fd, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

}  // namespace

std::size_t BodyStart(std::string_view text, bool headerIncluded) {
  if (!headerIncluded) return 0;
  const std::size_t blank = text.find("\r\n\r\n");
  return blank == std::string_view::npos ? 0 : blank + 4;
}

void Rot13(std::string& text, std::size_t begin, std::size_t end) {
  end = std::min(end, text.size());
  for (std::size_t i = begin; i < end; ++i) text[i] = Rotated(text[i]);
}

TextRange Rot13Range(std::string_view text, bool headerIncluded, std::size_t selBegin,
                     std::size_t selEnd) {
  const std::size_t body = BodyStart(text, headerIncluded);
  selEnd = std::min(selEnd, text.size());
  if (selBegin >= selEnd) return {body, text.size()};
  if (headerIncluded && selBegin < body) return {};
  return {selBegin, selEnd};
}

std::filesystem::path SavedArticlePath(const std::string& folderSetting, std::string_view server,
                                       std::string_view group) {
  std::filesystem::path path =
      folderSetting.empty() ? DataFolder() / "News" : std::filesystem::path(folderSetting);
  path /= SafePathComponent(server);
  for (;;) {
    const std::size_t dot = group.find('.');
    if (dot == std::string_view::npos) break;
    path /= SafePathComponent(group.substr(0, dot));
    group.remove_prefix(dot + 1);
  }
  return path / (SafePathComponent(group) + ".txt");
}

bool SaveArticle(const std::filesystem::path& file, std::string_view text,
                 IMainWindowReporter& reporter) {
  if (const std::filesystem::path clash = InTheWay(file); !clash.empty()) {
    reporter.PostToolMessage(kSourceNewsreader, "The article was not saved: \"" + clash.string() +
                                                    "\" is in the way of \"" + file.string() +
                                                    "\".");
    return false;
  }
  std::error_code error;
  std::filesystem::create_directories(file.parent_path(), error);
  if (error) {
    reporter.PostSystemError(error.value());
    return false;
  }
  const int fd = open(file.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) {
    reporter.PostSystemError(errno);
    return false;
  }
  const bool written = WriteAll(fd, text) && WriteAll(fd, "\r\n\r\n");
  const int writeError = errno;
  if (close(fd) != 0 || !written) {
    reporter.PostSystemError(written ? errno : writeError);
    return false;
  }
  return true;
}

}  // namespace netrove
