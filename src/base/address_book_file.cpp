// Reading and writing AddrBook.dat. A save never touches the old file until
// the new one is complete, and a file that cannot be read is moved aside
// before anything else can be written in its place.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <vector>

#include "base/address_book.h"
#include "base/tool_message.h"

namespace netrove {
namespace {

constexpr int kMaxKeptAsideNames = 100;

// Closes a descriptor when it goes out of scope.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return fd_; }
  // Closes now and reports the result (a failed close may mean lost data).
  bool Close() {
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0;
  }

 private:
  int fd_;
};

// Built by appending: GCC 12 at -O3 warns falsely (-Wrestrict) about
// "literal" + std::string.
std::string Quoted(const std::filesystem::path& path) {
  std::string quoted(1, '"');
  quoted += path.string();
  quoted += '"';
  return quoted;
}

enum class ReadOutcome { kRead, kMissing, kFailed, kTooLarge };

// Reads the whole file, at most kAddressBookMaxFileSize + 1 bytes. Sets
// errno-style `error` on kFailed.
ReadOutcome ReadWholeFile(const std::filesystem::path& file, std::vector<char>& data, int& error) {
  FileDescriptor fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) {
    error = errno;
    return error == ENOENT ? ReadOutcome::kMissing : ReadOutcome::kFailed;
  }
  constexpr std::size_t kChunk = 64 * 1024;
  for (;;) {
    const std::size_t used = data.size();
    if (used > kAddressBookMaxFileSize) return ReadOutcome::kTooLarge;
    data.resize(used + kChunk);
    const ssize_t got = ::read(fd.get(), data.data() + used, kChunk);
    if (got < 0 && errno == EINTR) {
      data.resize(used);
      continue;
    }
    if (got < 0) {
      error = errno;
      return ReadOutcome::kFailed;
    }
    data.resize(used + static_cast<std::size_t>(got));
    if (got == 0) return ReadOutcome::kRead;
  }
}

// Moves `file` to the first free name AddrBook.dat.damaged, -2, -3, ...
// Returns the new name, or an empty path (with `error`) when it stayed.
std::filesystem::path KeepAside(const std::filesystem::path& file, int& error) {
  for (int attempt = 1; attempt <= kMaxKeptAsideNames; ++attempt) {
    std::filesystem::path aside = file;
    aside += attempt == 1 ? ".damaged" : ".damaged-" + std::to_string(attempt);
    std::error_code ignored;
    if (std::filesystem::exists(std::filesystem::symlink_status(aside, ignored))) continue;
    if (std::rename(file.c_str(), aside.c_str()) == 0) return aside;
    error = errno;
    return {};
  }
  error = EEXIST;
  return {};
}

// The problem text for an unreadable file, after trying to move it aside.
void SetAsideWithProblem(const std::filesystem::path& file, const std::string& cause,
                         AddressBookLoad& load) {
  int error = 0;
  load.keptAside = KeepAside(file, error);
  load.problem = cause + "\n\n";
  if (load.keptAside.empty()) {
    load.problem += "It could not be moved aside (" + SystemErrorText(error) +
                    "); saving the address book will replace it.";
  } else {
    load.problem +=
        "It has been kept as " + Quoted(load.keptAside) + " and the address book starts empty.";
  }
}

bool WriteAll(int fd, const std::string& bytes) {
  std::size_t written = 0;
  while (written < bytes.size()) {
    const ssize_t put = ::write(fd, bytes.data() + written, bytes.size() - written);
    if (put < 0 && errno == EINTR) continue;
    if (put < 0) return false;
    written += static_cast<std::size_t>(put);
  }
  return true;
}

// Writes `bytes` to a new file beside `target`; returns its path, or an empty
// path with errno set.
std::filesystem::path WriteTemporary(const std::filesystem::path& target,
                                     const std::string& bytes) {
  std::string pattern = target.string() + ".new-XXXXXX";
  FileDescriptor fd(::mkostemp(pattern.data(), O_CLOEXEC));
  if (fd.get() < 0) return {};
  struct stat old {};
  // Keep the permissions the user gave the old file.
  if (::stat(target.c_str(), &old) == 0) ::fchmod(fd.get(), old.st_mode & 07777);
  if (WriteAll(fd.get(), bytes) && ::fsync(fd.get()) == 0 && fd.Close()) return pattern;
  const int error = errno;
  ::unlink(pattern.c_str());
  errno = error;
  return {};
}

// Makes the rename itself durable; a failure here loses nothing that the
// rename did not already lose, so it is not reported.
void SyncFolder(const std::filesystem::path& folder) {
  FileDescriptor fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (fd.get() >= 0) ::fsync(fd.get());
}

}  // namespace

AddressBookLoad LoadAddressBook(const std::filesystem::path& file) {
  AddressBookLoad load;
  std::vector<char> data;
  int error = 0;
  switch (ReadWholeFile(file, data, error)) {
    case ReadOutcome::kMissing:
      return load;
    case ReadOutcome::kFailed:
      SetAsideWithProblem(
          file,
          SystemErrorText(error) + "\n\nThe address book " + Quoted(file) + " cannot be read.",
          load);
      return load;
    case ReadOutcome::kTooLarge:
      SetAsideWithProblem(
          file, "The address book " + Quoted(file) + " is too large to be an address book.", load);
      return load;
    case ReadOutcome::kRead:
      break;
  }
  std::string fault;
  auto records = DecodeAddressBook(data, &fault);
  if (!records) {
    SetAsideWithProblem(file, "The address book " + Quoted(file) + " is damaged: " + fault + ".",
                        load);
    return load;
  }
  load.book = AddressBook(std::move(*records));
  return load;
}

std::string SaveAddressBook(const std::filesystem::path& file, const AddressBook& book) {
  const auto failure = [&file](int error) {
    return "The address book could not be saved to " + Quoted(file) + ".\n\n" +
           SystemErrorText(error);
  };
  const auto folder = file.has_parent_path() ? file.parent_path() : std::filesystem::path(".");
  std::error_code folderError;
  std::filesystem::create_directories(folder, folderError);
  if (folderError) return failure(folderError.value());
  const auto temporary = WriteTemporary(file, EncodeAddressBook(book));
  if (temporary.empty()) return failure(errno);
  if (std::rename(temporary.c_str(), file.c_str()) != 0) {
    const int error = errno;
    ::unlink(temporary.c_str());
    return failure(error);
  }
  SyncFolder(folder);
  return {};
}

}  // namespace netrove
