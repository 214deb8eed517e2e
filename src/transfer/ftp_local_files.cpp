#include "transfer/ftp_local_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>

#include "base/run_lifecycle.h"

namespace netrove {
namespace {

namespace fs = std::filesystem;

struct DirCloser {
  void operator()(DIR* dir) const { ::closedir(dir); }
};
using DirHandle = std::unique_ptr<DIR, DirCloser>;

bool IsDotOrDotDot(const char* name) {
  return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

bool IsFolderEntry(const fs::path& folder, const dirent& entry) {
  if (entry.d_type == DT_DIR) return true;
  if (entry.d_type != DT_UNKNOWN && entry.d_type != DT_LNK) return false;
  struct stat status {};
  return ::stat((folder / entry.d_name).c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

bool LessWithoutCase(const LocalEntry& a, const LocalEntry& b) {
  const auto lower = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; };
  const auto byLower = [&](char x, char y) {
    return lower(static_cast<unsigned char>(x)) < lower(static_cast<unsigned char>(y));
  };
  if (std::lexicographical_compare(a.name.begin(), a.name.end(), b.name.begin(), b.name.end(),
                                   byLower))
    return true;
  if (std::lexicographical_compare(b.name.begin(), b.name.end(), a.name.begin(), a.name.end(),
                                   byLower))
    return false;
  return a.name < b.name;
}

bool Exists(const fs::path& path) {
  struct stat status {};
  return ::lstat(path.c_str(), &status) == 0;
}

int CopyBytes(int in, int out) {
  char buffer[64 * 1024];
  while (true) {
    const ssize_t got = ::read(in, buffer, sizeof buffer);
    if (got < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (got == 0) return 0;
    for (ssize_t sent = 0; sent < got;) {
      const ssize_t put = ::write(out, buffer + sent, static_cast<std::size_t>(got - sent));
      if (put < 0) {
        if (errno == EINTR) continue;
        return errno;
      }
      sent += put;
    }
  }
}

// Writes `to` through a temporary file beside it, renamed into place only
// when every byte is written.
int CopyFile(const fs::path& from, const fs::path& to, bool replace) {
  if (!replace && Exists(to)) return EEXIST;
  const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return errno;
  struct stat status {};
  ::fstat(in, &status);
  std::string pattern = (to.parent_path() / (".netrove-copy-XXXXXX")).string();
  const int out = ::mkostemp(pattern.data(), O_CLOEXEC);
  if (out < 0) {
    const int error = errno;
    ::close(in);
    return error;
  }
  int error = CopyBytes(in, out);
  ::fchmod(out, status.st_mode & 07777);
  if (::close(out) != 0 && error == 0) error = errno;
  ::close(in);
  if (error == 0 && ::renameat2(AT_FDCWD, pattern.c_str(), AT_FDCWD, to.c_str(),
                                replace ? 0 : RENAME_NOREPLACE) != 0)
    error = errno;
  if (error != 0) ::unlink(pattern.c_str());
  return error;
}

int CopyFolder(const fs::path& from, const fs::path& to, bool replace) {
  struct stat status {};
  if (::stat(from.c_str(), &status) != 0) return errno;
  if (::mkdir(to.c_str(), status.st_mode & 07777) != 0 && !(errno == EEXIST && replace))
    return errno;
  int error = 0;
  for (const LocalEntry& entry : ListLocalFolder(from, error)) {
    const int copied = CopyLocal(from / entry.name, to / entry.name, replace);
    if (copied != 0) return copied;
  }
  return error;
}

}  // namespace

std::vector<LocalEntry> ListLocalFolder(const fs::path& folder, int& error) {
  error = 0;
  std::vector<LocalEntry> entries;
  const DirHandle dir(::opendir(folder.c_str()));
  if (!dir) {
    error = errno;
    return entries;
  }
  while (const dirent* entry = ::readdir(dir.get())) {
    if (IsDotOrDotDot(entry->d_name)) continue;
    entries.push_back({entry->d_name, IsFolderEntry(folder, *entry)});
  }
  const auto foldersEnd = std::stable_partition(
      entries.begin(), entries.end(), [](const LocalEntry& entry) { return entry.isFolder; });
  std::sort(entries.begin(), foldersEnd, LessWithoutCase);
  std::sort(foldersEnd, entries.end(), LessWithoutCase);
  return entries;
}

bool LocalFolderHasEntries(const fs::path& folder) {
  const DirHandle dir(::opendir(folder.c_str()));
  if (!dir) return false;
  while (const dirent* entry = ::readdir(dir.get())) {
    if (!IsDotOrDotDot(entry->d_name)) return true;
  }
  return false;
}

int CreateLocalFolder(const fs::path& folder) {
  return ::mkdir(folder.c_str(), 0777) == 0 ? 0 : errno;
}

int RenameLocal(const fs::path& from, const fs::path& to) {
  return ::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0 ? 0
                                                                                          : errno;
}

bool IsSameOrInside(const fs::path& path, const fs::path& folder) {
  std::error_code error;
  const fs::path inner = fs::weakly_canonical(path, error);
  if (error) return false;
  const fs::path outer = fs::weakly_canonical(folder, error);
  if (error) return false;
  auto [outerEnd, innerAt] = std::mismatch(outer.begin(), outer.end(), inner.begin(), inner.end());
  // A trailing "/" leaves an empty last element in `outer`.
  return outerEnd == outer.end() || (std::next(outerEnd) == outer.end() && outerEnd->empty());
}

int CopyLocal(const fs::path& from, const fs::path& to, bool replace) {
  struct stat status {};
  if (::stat(from.c_str(), &status) != 0) return errno;
  // A folder copied into itself would copy its own copy until names grow too long.
  if (S_ISDIR(status.st_mode) && IsSameOrInside(to, from)) return EINVAL;
  return S_ISDIR(status.st_mode) ? CopyFolder(from, to, replace) : CopyFile(from, to, replace);
}

int MoveLocal(const fs::path& from, const fs::path& to, bool replace) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), replace ? 0 : RENAME_NOREPLACE) ==
      0)
    return 0;
  if (errno != EXDEV) return errno;
  // Another file system: the source goes only once the copy is whole.
  if (const int error = CopyLocal(from, to, replace)) return error;
  fs::path failed;
  return DeleteLocalTree(from, failed);
}

int DeleteLocalTree(const fs::path& path, fs::path& failedPath) {
  struct stat status {};
  if (::lstat(path.c_str(), &status) != 0) {
    failedPath = path;
    return errno;
  }
  if (S_ISDIR(status.st_mode)) {
    int error = 0;
    for (const LocalEntry& entry : ListLocalFolder(path, error)) {
      if (const int failed = DeleteLocalTree(path / entry.name, failedPath)) return failed;
    }
    if (error != 0 || ::rmdir(path.c_str()) != 0) {
      failedPath = path;
      return error != 0 ? error : errno;
    }
    return 0;
  }
  if (::unlink(path.c_str()) != 0) {
    failedPath = path;
    return errno;
  }
  return 0;
}

int StartDetachedProgram(const std::string& program, const std::string& argument) {
  std::string programCopy = program;
  std::string argumentCopy = argument;
  char* argv[] = {programCopy.data(), argumentCopy.data(), nullptr};
  pid_t child = 0;
  const int error = ::posix_spawnp(&child, programCopy.c_str(), nullptr, nullptr, argv, environ);
  if (error != 0) return error;
  // The child is reaped when it ends; without a thread for that it would stay
  // a zombie, which the caller hears of as the refusal it is.
  const bool reaping = LaunchDetached(SystemThreads(), [child] {
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
  });
  return reaping ? 0 : EAGAIN;
}

}  // namespace netrove
