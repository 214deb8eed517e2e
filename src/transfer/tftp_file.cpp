#include "transfer/tftp_file.h"

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string_view>
#include <vector>

namespace netrove {
namespace {

constexpr mode_t kNewFileMode = 0644;

class CPosixTftpFile : public ITftpFile {
 public:
  // `folder` (owned, may be -1) and `name` locate the file for deletion when
  // `deleteUnlessKept` is set.
  CPosixTftpFile(int descriptor, int folder, std::string name, bool deleteUnlessKept)
      : descriptor_(descriptor),
        folder_(folder),
        name_(std::move(name)),
        deleteUnlessKept_(deleteUnlessKept) {}
  ~CPosixTftpFile() override {
    ::close(descriptor_);
    if (deleteUnlessKept_ && !kept_) ::unlinkat(folder_ < 0 ? AT_FDCWD : folder_, name_.c_str(), 0);
    if (folder_ >= 0) ::close(folder_);
  }
  CPosixTftpFile(const CPosixTftpFile&) = delete;
  CPosixTftpFile& operator=(const CPosixTftpFile&) = delete;

  // Served from a buffer of several blocks: one system call per block would
  // cost as much as the block's round trip on a fast link.
  long Read(std::uint8_t* into, std::size_t size) override {
    std::size_t done = 0;
    while (done < size) {
      if (position_ == filled_) {
        const long count = Fill();
        if (count < 0) return count;
        if (count == 0) break;
      }
      const std::size_t take = std::min(size - done, filled_ - position_);
      std::copy_n(buffer_.begin() + static_cast<long>(position_), take, into + done);
      position_ += take;
      done += take;
    }
    return static_cast<long>(done);
  }

  int Write(const std::uint8_t* data, std::size_t size) override {
    while (size > 0) {
      const ssize_t count = ::write(descriptor_, data, size);
      if (count < 0 && errno == EINTR) continue;
      if (count < 0) return errno;
      data += count;
      size -= static_cast<std::size_t>(count);
    }
    return 0;
  }

  void Keep() override { kept_ = true; }

  std::optional<std::uint64_t> Size() const override {
    struct stat status {};
    if (::fstat(descriptor_, &status) != 0 || !S_ISREG(status.st_mode)) return std::nullopt;
    return static_cast<std::uint64_t>(status.st_size);
  }

 private:
  long Fill() {
    if (buffer_.empty()) buffer_.resize(kReadBuffer);
    for (;;) {
      const ssize_t count = ::read(descriptor_, buffer_.data(), buffer_.size());
      if (count < 0 && errno == EINTR) continue;
      if (count < 0) return -errno;
      position_ = 0;
      filled_ = static_cast<std::size_t>(count);
      return count;
    }
  }

  static constexpr std::size_t kReadBuffer = 64 * 1024;
  std::vector<std::uint8_t> buffer_;
  std::size_t position_ = 0;
  std::size_t filled_ = 0;
  int descriptor_;
  int folder_;
  std::string name_;
  bool deleteUnlessKept_;
  bool kept_ = false;
};

TftpFileOpen Failed(int error) { return {nullptr, error}; }

// A regular file only: a folder, device or pipe is not served. The file was
// opened with O_NONBLOCK, so a FIFO could not hold the opening thread until a
// writer came; a regular file reads the same either way, but the flag is
// cleared all the same.
TftpFileOpen ReadableRegularFile(int descriptor) {
  struct stat status {};
  if (::fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)) {
    const int error = S_ISDIR(status.st_mode) ? EISDIR : EACCES;
    ::close(descriptor);
    return Failed(error);
  }
  const int flags = ::fcntl(descriptor, F_GETFL);
  if (flags < 0 || ::fcntl(descriptor, F_SETFL, flags & ~O_NONBLOCK) != 0) {
    const int error = errno;
    ::close(descriptor);
    return Failed(error);
  }
  return {std::make_unique<CPosixTftpFile>(descriptor, -1, std::string(), false), 0};
}

// The request's name below the folder, without its leading "/": "/a/b" and
// "a/b" (what curl and most clients send) name the same file. False for a
// name of the folder itself or with a ".." component.
bool RelativeServedName(const std::string& name, std::string& relative) {
  const auto start = name.find_first_not_of('/');
  if (start == std::string::npos) return false;
  relative = name.substr(start);
  std::string_view rest = relative;
  while (!rest.empty()) {
    const auto slash = rest.find('/');
    if (rest.substr(0, slash) == "..") return false;
    if (slash == std::string_view::npos) break;
    rest.remove_prefix(slash + 1);
  }
  return true;
}

// openat2 confined below `folder`: symbolic links are followed only while
// they stay inside, and "/" or ".." cannot climb out.
int OpenBeneath(int folder, const std::string& relative, int flags) {
  open_how how{};
  how.flags = static_cast<std::uint64_t>(flags | O_CLOEXEC | O_NOCTTY);
  how.mode = (flags & O_CREAT) != 0 ? kNewFileMode : 0;
  how.resolve = RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS;
  return static_cast<int>(::syscall(SYS_openat2, folder, relative.c_str(), &how, sizeof how));
}

// Refusals that mean "outside the folder" become EXDEV.
int ConfinementError(int error) { return error == ELOOP ? EXDEV : error; }

}  // namespace

TftpFileOpen OpenTftpFileForReading(const std::filesystem::path& path) {
  const int descriptor = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (descriptor < 0) return Failed(errno);
  return ReadableRegularFile(descriptor);
}

TftpFileOpen CreateTftpFile(const std::filesystem::path& path) {
  const int descriptor =
      ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, kNewFileMode);
  if (descriptor < 0) return Failed(errno);
  return {std::make_unique<CPosixTftpFile>(descriptor, -1, path.string(), true), 0};
}

TftpFileOpen OpenServedFileForReading(const std::filesystem::path& folder,
                                      const std::string& name) {
  std::string relative;
  if (!RelativeServedName(name, relative)) return Failed(EXDEV);
  const int root = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (root < 0) return Failed(errno);
  const int descriptor = OpenBeneath(root, relative, O_RDONLY | O_NONBLOCK);
  const int error = errno;
  ::close(root);
  if (descriptor < 0) return Failed(ConfinementError(error));
  return ReadableRegularFile(descriptor);
}

TftpFileOpen CreateServedFile(const std::filesystem::path& folder, const std::string& name) {
  std::string relative;
  if (!RelativeServedName(name, relative)) return Failed(EXDEV);
  const int root = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (root < 0) return Failed(errno);
  const int descriptor = OpenBeneath(root, relative, O_WRONLY | O_CREAT | O_EXCL);
  if (descriptor < 0) {
    const int error = errno;
    ::close(root);
    return Failed(ConfinementError(error));
  }
  // The deletion of an unfinished file is made relative to the same folder.
  return {std::make_unique<CPosixTftpFile>(descriptor, root, relative, true), 0};
}

}  // namespace netrove
