#include "base/certificate_pins.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

#include "base/tls.h"
#include "base/user_paths.h"

namespace netrove {
namespace {

struct PinLine {
  std::string key;
  std::string fingerprint;
  std::string text;  // the line as read, kept for comments and unknown lines
};

std::vector<PinLine> ReadPins(const std::filesystem::path& file) {
  std::vector<PinLine> lines;
  std::ifstream in(file);
  std::string text;
  while (std::getline(in, text)) {
    PinLine line{{}, {}, text};
    std::istringstream fields(text);
    std::string key, fingerprint;
    if (text.rfind('#', 0) != 0 && fields >> key >> fingerprint) {
      if (auto normal = NormalizeFingerprint(fingerprint)) {
        line.key = key;
        line.fingerprint = *normal;
      }
    }
    lines.push_back(std::move(line));
  }
  return lines;
}

// Held while the file is read, changed and replaced.
class PinFileLock {
 public:
  explicit PinFileLock(const std::filesystem::path& file) {
    const std::string lockFile = file.string() + ".lock";
    descriptor_ = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (descriptor_ < 0) {
      error_ = errno;
      return;
    }
    int result;
    while ((result = ::flock(descriptor_, LOCK_EX)) != 0 && errno == EINTR) {
    }
    if (result != 0) error_ = errno;
  }
  ~PinFileLock() {
    if (descriptor_ >= 0) ::close(descriptor_);  // releases the lock
  }
  PinFileLock(const PinFileLock&) = delete;
  PinFileLock& operator=(const PinFileLock&) = delete;
  int error() const { return error_; }

 private:
  int descriptor_ = -1;
  int error_ = 0;
};

bool WriteAll(int descriptor, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t wrote = ::write(descriptor, bytes.data() + done, bytes.size() - done);
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) return false;
    done += static_cast<std::size_t>(wrote);
  }
  return true;
}

// Writes a new file beside `file`, then renames it over: a reader sees the
// old or the new list, never half of one.
int ReplaceFile(const std::filesystem::path& file, const std::string& bytes) {
  std::string temporary = file.string() + ".new-XXXXXX";
  const int descriptor = ::mkostemp(temporary.data(), O_CLOEXEC);
  if (descriptor < 0) return errno;
  const bool written = WriteAll(descriptor, bytes) && ::fsync(descriptor) == 0;
  const int error = errno;
  ::close(descriptor);
  if (!written || std::rename(temporary.c_str(), file.c_str()) != 0) {
    const int failure = written ? errno : error;
    ::unlink(temporary.c_str());
    return failure;
  }
  return 0;
}

}  // namespace

std::filesystem::path PinnedCertificatesFile() { return DataFolder() / "pinned-certificates"; }

namespace {

// The host as the file names it: an IPv6 address in brackets. Built in
// pieces: GCC 12 at -O3 takes "[" + host for an overlapping copy.
std::string HostKey(std::string_view host) {
  std::string key;
  const bool ipv6 = host.find(':') != std::string_view::npos;
  if (ipv6) key += '[';
  key.append(host);
  if (ipv6) key += ']';
  return key;
}

}  // namespace

std::string PinKey(std::string_view host, std::uint16_t port) {
  std::string key = HostKey(host);
  key += ':';
  key += std::to_string(port);
  return key;
}

std::optional<std::string> FindPinnedCertificate(const std::filesystem::path& file,
                                                 std::string_view host, std::uint16_t port) {
  const std::string exact = PinKey(host, port);
  const std::string anyPort = HostKey(host);
  std::optional<std::string> found;
  for (const PinLine& line : ReadPins(file)) {
    if (line.key == exact) return line.fingerprint;
    if (line.key == anyPort) found = line.fingerprint;
  }
  return found;
}

std::string PinCertificate(const std::filesystem::path& file, std::string_view host,
                           std::uint16_t port, std::string_view fingerprint) {
  const auto normal = NormalizeFingerprint(fingerprint);
  if (!normal) return "Not a SHA-256 fingerprint: " + std::string(fingerprint);
  std::error_code ignored;
  if (file.has_parent_path()) std::filesystem::create_directories(file.parent_path(), ignored);
  PinFileLock lock(file);
  if (lock.error() != 0)
    return "The pinned certificates could not be locked: " +
           std::string(std::strerror(lock.error()));
  const std::string key = PinKey(host, port);
  std::string bytes;
  for (const PinLine& line : ReadPins(file)) {
    if (line.key != key) bytes += line.text + "\n";
  }
  bytes += key + " " + *normal + "\n";
  if (const int error = ReplaceFile(file, bytes); error != 0)
    return "The pinned certificates could not be saved in " + file.string() + ": " +
           std::strerror(error);
  return {};
}

}  // namespace netrove
