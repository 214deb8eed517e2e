// Reading and writing AddrBook.dat. A save never touches the old file until
// the new one is complete. A file whose content is not an address book is
// moved aside before anything else can be written in its place; a file that
// cannot be read at all (no permission, an I/O error, not a regular file) is
// left where it is and never written over.
#include <fcntl.h>
#include <sys/file.h>
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

enum class ReadOutcome { kRead, kMissing, kFailed, kNotAFile, kTooLarge };

// Reads the whole file, at most kAddressBookMaxFileSize + 1 bytes. Opening
// never waits (a FIFO in the book's place would otherwise wait for a
// writer), and only a regular file is read. Sets errno-style `error` on
// kFailed.
ReadOutcome ReadWholeFile(const std::filesystem::path& file, std::vector<char>& data, int& error) {
  FileDescriptor fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
  if (fd.get() < 0) {
    error = errno;
    return error == ENOENT ? ReadOutcome::kMissing : ReadOutcome::kFailed;
  }
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0) {
    error = errno;
    return ReadOutcome::kFailed;
  }
  if (!S_ISREG(info.st_mode)) return ReadOutcome::kNotAFile;
  if (static_cast<std::uintmax_t>(info.st_size) > kAddressBookMaxFileSize) {
    return ReadOutcome::kTooLarge;
  }
  constexpr std::size_t kChunk = 64 * 1024;
  data.reserve(static_cast<std::size_t>(info.st_size) + 1);
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

// The problem text for a file whose content is not an address book, after
// trying to move it aside.
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

// The file a save replaces: the end of a chain of symbolic links (a book kept
// in a synced folder and linked here), so the link stays and its target gets
// the new book.
std::filesystem::path SaveTarget(const std::filesystem::path& file) {
  constexpr int kMaxLinks = 40;  // the system's own limit on a chain
  std::filesystem::path target = file;
  for (int link = 0; link < kMaxLinks; ++link) {
    std::error_code error;
    if (!std::filesystem::is_symlink(std::filesystem::symlink_status(target, error))) break;
    const auto next = std::filesystem::read_symlink(target, error);
    if (error) break;
    target = next.is_absolute() ? next : target.parent_path() / next;
  }
  return target;
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

namespace {

// Reads the book; content that is not an address book is moved aside when
// `keepDamagedAside` (the caller holds the lock).
AddressBookLoad ReadAddressBook(const std::filesystem::path& file, bool keepDamagedAside) {
  AddressBookLoad load;
  std::vector<char> data;
  int error = 0;
  const auto unreadable = [&](const std::string& cause) {
    load.readable = false;
    load.problem = cause + "\n\nThe address book " + Quoted(file) +
                   " cannot be read. It is left as it is and is not written over.";
    return load;
  };
  switch (ReadWholeFile(file, data, error)) {
    case ReadOutcome::kMissing:
      return load;
    case ReadOutcome::kFailed:
      return unreadable(SystemErrorText(error));
    case ReadOutcome::kNotAFile:
      return unreadable("It is not a regular file.");
    case ReadOutcome::kTooLarge:
      load.damaged = true;
      load.problem = "The address book " + Quoted(file) + " is too large to be an address book.";
      break;
    case ReadOutcome::kRead:
      break;
  }
  if (!load.damaged) {
    std::string fault;
    auto records = DecodeAddressBook(data, &fault);
    if (records) {
      load.book = AddressBook(std::move(*records));
      return load;
    }
    load.damaged = true;
    load.problem = "The address book " + Quoted(file) + " is damaged: " + fault + ".";
  }
  if (keepDamagedAside) SetAsideWithProblem(file, std::string(load.problem), load);
  return load;
}

}  // namespace

std::string SaveAddressBook(const std::filesystem::path& file, const AddressBook& book) {
  const auto failure = [&file](int error) {
    return "The address book could not be saved to " + Quoted(file) + ".\n\n" +
           SystemErrorText(error);
  };
  const auto folder = file.has_parent_path() ? file.parent_path() : std::filesystem::path(".");
  std::error_code folderError;
  std::filesystem::create_directories(folder, folderError);
  if (folderError) return failure(folderError.value());
  const auto target = SaveTarget(file);
  const auto temporary = WriteTemporary(target, EncodeAddressBook(book));
  if (temporary.empty()) return failure(errno);
  if (std::rename(temporary.c_str(), target.c_str()) != 0) {
    const int error = errno;
    ::unlink(temporary.c_str());
    return failure(error);
  }
  SyncFolder(target.has_parent_path() ? target.parent_path() : folder);
  return {};
}

AddressBookLock::AddressBookLock(const std::filesystem::path& file) {
  auto lockFile = file;
  lockFile += ".lock";
  std::error_code ignored;
  if (file.has_parent_path()) std::filesystem::create_directories(file.parent_path(), ignored);
  fd_ = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd_ < 0) {
    error_ = errno;
    return;
  }
  int result;
  while ((result = ::flock(fd_, LOCK_EX)) != 0 && errno == EINTR) {
  }
  if (result != 0) error_ = errno;
  locked_ = result == 0;
}

AddressBookLock::~AddressBookLock() {
  // Closing the descriptor releases the lock.
  if (fd_ >= 0) ::close(fd_);
}

std::string AddressBookLock::problem(const std::filesystem::path& file) const {
  return "The address book " + Quoted(file) + " could not be locked for changing.\n\n" +
         SystemErrorText(error_);
}

AddressBookLoad LoadAddressBook(const std::filesystem::path& file) {
  AddressBookLoad load = ReadAddressBook(file, false);
  if (!load.damaged) return load;
  // Only under the lock, and only if it is still damaged: a writer may have
  // put a whole new book in its place since.
  AddressBookLock lock(file);
  if (!lock.locked()) return load;
  return ReadAddressBook(file, true);
}

AddressBookUpdate UpdateAddressBook(const std::filesystem::path& file,
                                    const std::function<bool(AddressBook&)>& change) {
  AddressBookUpdate update;
  AddressBookLock lock(file);
  if (!lock.locked()) {
    update.problems.push_back(lock.problem(file));
    return update;
  }
  AddressBookLoad load = ReadAddressBook(file, true);
  if (!load.problem.empty()) update.problems.push_back(load.problem);
  if (!load.readable) return update;
  if (!change(load.book)) {
    update.saved = true;
    return update;
  }
  const std::string problem = SaveAddressBook(file, load.book);
  if (!problem.empty()) update.problems.push_back(problem);
  update.saved = problem.empty();
  return update;
}

}  // namespace netrove
