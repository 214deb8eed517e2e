#include "transfer/ftp_transfer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <utility>
#include <vector>

#include "base/tool_message.h"
#include "transfer/ftp_listing.h"
#include "transfer/ftp_notify.h"

namespace netrove {
namespace {

// Large blocks keep a fast link busy. An upload hands each block to the
// kernel whole: TCP is a byte stream, so no server can tell the size of a
// send, and a send per segment's payload cost a system call per 1460 bytes.
// The socket buffers are left to the kernel, which grows them with the link
// (a fixed size would turn that off and cap every transfer at it).
constexpr std::size_t kBlockSize = 256 * 1024;
// A download starts writing each window of this size to the disk once it is
// received, and waits for the one before: the file is flushed before it is
// renamed into place, and flushing it all at the end would hold the
// transfer up for as long again as the disk takes (a third of a second per
// 512 MiB here), with the dirty pages of the whole file in memory meanwhile.
constexpr std::uint64_t kWriteBackWindow = 8u * 1024 * 1024;
// A listing larger than this is refused rather than held in memory.
constexpr std::size_t kLargestListing = 256u * 1024 * 1024;

// The mode a file created the ordinary way would get: the replaced file's own,
// or 0666 less the process's umask (read without changing it).
mode_t ModeForNewFile(const std::filesystem::path& target) {
  struct stat existing {};
  if (::stat(target.c_str(), &existing) == 0) return existing.st_mode & 07777;
  mode_t mask = 022;
  if (FILE* status = std::fopen("/proc/self/status", "r")) {
    char line[128];
    while (std::fgets(line, sizeof line, status) != nullptr) {
      unsigned value = 0;
      if (std::sscanf(line, "Umask: %o", &value) == 1) mask = static_cast<mode_t>(value);
    }
    std::fclose(status);
  }
  return 0666 & ~mask;
}

}  // namespace

std::filesystem::path PartialDownloadPath(const std::filesystem::path& target) {
  std::filesystem::path partial = target;
  partial += ".part";
  return partial;
}

void CAsciiDecoder::Decode(std::string_view in, std::string& out) {
  out.reserve(out.size() + in.size() + 1);
  for (const char c : in) {
    if (pendingCr_) {
      pendingCr_ = false;
      if (c != '\n') out += '\r';
    }
    if (c == '\r') {
      pendingCr_ = true;
    } else {
      out += c;
    }
  }
}

void CAsciiDecoder::Flush(std::string& out) {
  if (pendingCr_) out += '\r';
  pendingCr_ = false;
}

void CAsciiEncoder::Encode(std::string_view in, std::string& out) {
  out.reserve(out.size() + in.size() + in.size() / 16);
  for (const char c : in) {
    if (c == '\n' && !lastWasCr_) out += '\r';
    out += c;
    lastWasCr_ = c == '\r';
  }
}

CFtpTransfer::CFtpTransfer(FtpTransferKind kind, bool ascii, IMainWindowReporter& reporter,
                           IFtpPanes& panes)
    : kind_(kind), ascii_(ascii), reporter_(reporter), panes_(panes) {}

CFtpTransfer::~CFtpTransfer() {
  Cancel();
  lifecycle_.Join();
  if (file_ >= 0) ::close(file_);
  if (!temporary_.empty() && !keepTemporary_ && !resumed_) ::unlink(temporary_.c_str());
}

int CFtpTransfer::CreateDownloadFile(const std::filesystem::path& target, bool keepPartial) {
  const std::filesystem::path folder = target.has_parent_path() ? target.parent_path() : ".";
  // A hidden name beside the target: the same file system, so the final
  // rename is atomic.
  std::string leaf(".");
  leaf.append(target.filename().string()).append(".XXXXXX");
  const std::string pattern = (folder / leaf).string();
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  file_ = ::mkostemp(name.data(), O_CLOEXEC);
  if (file_ < 0) return errno;
  (void)::fchmod(file_, ModeForNewFile(target));
  target_ = target;
  temporary_ = name.data();
  if (keepPartial && !ascii_) partial_ = PartialDownloadPath(target);
  return 0;
}

int CFtpTransfer::ResumeDownloadFile(const std::filesystem::path& file, std::uint64_t offset,
                                     const std::filesystem::path& target) {
  file_ = ::open(file.c_str(), O_WRONLY | O_CLOEXEC);
  if (file_ < 0) return errno;
  if (::lseek(file_, static_cast<off_t>(offset), SEEK_SET) < 0) return errno;
  target_ = target;
  temporary_ = file;
  resumed_ = true;
  return 0;
}

int CFtpTransfer::UseTemporaryFile(const std::filesystem::path& temporary) {
  file_ = ::open(temporary.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
  if (file_ < 0) return errno;
  target_ = temporary_ = temporary;
  keepTemporary_ = true;
  return 0;
}

int CFtpTransfer::OpenUploadFile(const std::filesystem::path& source, std::uint64_t offset) {
  file_ = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
  if (file_ < 0) return errno;
  if (offset > 0 && ::lseek(file_, static_cast<off_t>(offset), SEEK_SET) < 0) return errno;
  return 0;
}

SocketStatus CFtpTransfer::Listen(const SocketAddress& localAddress,
                                  const SocketAddress& serverAddress, SocketAddress& announced) {
  SocketAddress bindAddress = localAddress;
  bindAddress.setPort(0);
  SocketStatus status = listener_.Create(bindAddress.family(), SOCK_STREAM, IPPROTO_TCP);
  if (status) status = listener_.Bind(bindAddress);
  if (status) status = listener_.Listen(1);
  if (status) status = listener_.LocalAddress(announced);
  if (!status) {
    listener_.Close();
    return status;
  }
  serverAddress_ = serverAddress;
  Start(false, {});
  return {};
}

void CFtpTransfer::StartPassive(const SocketAddress& dataAddress) {
  {
    std::lock_guard lock(startMutex_);
    if (cancelled_ || started_) return;
    const SocketStatus created = data_.Create(dataAddress.family(), SOCK_STREAM, IPPROTO_TCP);
    if (!created) {
      ReportSocketError(reporter_, created);
      return;
    }
  }
  Start(true, dataAddress);
}

// The thread's sockets are woken by Cancel and closed by the thread itself
// once it is done with them. A thread that cannot start leaves the transfer
// failed (it moved nothing), so the operation ends with the server's reply.
void CFtpTransfer::Start(bool passive, const SocketAddress& dataAddress) {
  std::lock_guard lock(startMutex_);
  if (cancelled_ || started_) return;
  started_ =
      lifecycle_.Start([this, passive, dataAddress](std::stop_token) { Run(passive, dataAddress); },
                       {&listener_, &data_});
  if (!started_) ReportSystemError(EAGAIN);
}

void CFtpTransfer::CommandSent() {
  {
    std::lock_guard lock(startMutex_);
    commandSent_ = true;
  }
  startWake_.notify_all();
}

void CFtpTransfer::Cancel() {
  {
    std::lock_guard lock(startMutex_);
    cancelled_ = true;
    resetWanted_ = true;
    // A reset before anything else: an orderly end would tell the server an
    // aborted upload was whole.
    data_.Reset();
    lifecycle_.Interrupt();
  }
  startWake_.notify_all();
}

bool CFtpTransfer::Finish(bool replyPositive, std::chrono::milliseconds bound) {
  bool started = false;
  if (replyPositive) {
    std::lock_guard lock(startMutex_);
    cancelled_ = true;  // a thread not started by now never moved a byte
    started = started_;
  } else {
    Cancel();
  }
  // A server that sends its final reply but never closes the data
  // connection must not keep the connection waiting for good.
  if (started && bound.count() > 0) {
    std::unique_lock lock(doneMutex_);
    if (!doneWake_.wait_for(lock, bound, [this] { return done_; })) {
      lock.unlock();
      reporter_.PostToolMessage(
          kSourceFtp,
          "The data connection did not end after the FTP server's final reply; it was reset.");
      Cancel();
    }
  }
  lifecycle_.Join();
  const bool moved = replyPositive && threadSucceeded_;
  const bool truncated = moved && SizeDiffers();
  if (moved && !truncated) ApplyRemoteTime();
  if (file_ >= 0) ::close(file_);
  file_ = -1;
  if (truncated) {
    // A resumed file is the user's own (or its part): it stays in place.
    if (resumed_) {
      reporter_.PostToolMessage(kSourceFtp, "The resumed download of '" +
                                                DisplayName(target_.filename().string()) +
                                                "' ended short of the size the server announced; "
                                                "what arrived was kept.");
      temporary_.clear();
    } else {
      KeepPartialCopy();
    }
    return false;
  }
  const bool success = moved;
  if (kind_ == FtpTransferKind::Download && !temporary_.empty()) return FinishDownloadFile(success);
  return success;
}

bool CFtpTransfer::FinishDownloadFile(bool success) {
  const std::filesystem::path written = std::exchange(temporary_, {});
  if (success && !keepTemporary_ && written != target_ &&
      ::rename(written.c_str(), target_.c_str()) != 0) {
    ReportSystemError(errno);
    if (!resumed_) ::unlink(written.c_str());
    return false;
  }
  if (!success && !resumed_) {
    temporary_ = written;
    if (!KeepPartial()) ::unlink(written.c_str());
    temporary_.clear();
  }
  return success;
}

// The bytes of a failed binary download stay beside the target, so that a
// resume need not fetch them again; the target itself is never a torso.
bool CFtpTransfer::KeepPartial() {
  if (partial_.empty() || received_ == 0) return false;
  if (::rename(temporary_.c_str(), partial_.c_str()) != 0) return false;
  reporter_.PostToolMessage(kSourceFtp, "The download of '" + target_.filename().string() +
                                            "' did not finish; the " + std::to_string(received_) +
                                            " bytes received were kept in '" +
                                            partial_.filename().string() +
                                            "'. Downloading it again can resume from there.");
  return true;
}

void CFtpTransfer::Run(bool passive, SocketAddress dataAddress) {
  const SocketStatus connected = MakeConnection(passive, dataAddress);
  if (!connected) {
    ReportSocketError(reporter_, connected);
  } else if (SecureConnection()) {
    threadSucceeded_ = kind_ == FtpTransferKind::Upload ? Send() : Receive();
  }
  if (!threadSucceeded_ || resetWanted_) ResetConnection();
  if (file_ >= 0 && kind_ == FtpTransferKind::Download) ::fsync(file_);
  data_.Close();
  listener_.Close();
  {
    std::lock_guard lock(doneMutex_);
    done_ = true;
  }
  doneWake_.notify_all();
}

void CFtpTransfer::NoteActivity() {
  if (activity_ == nullptr) return;
  activity_->store(std::chrono::steady_clock::now().time_since_epoch().count());
}

SocketStatus CFtpTransfer::MakeConnection(bool passive, const SocketAddress& dataAddress) {
  if (passive) return data_.Connect(dataAddress);
  while (true) {
    SocketAddress peer;
    const SocketStatus accepted = listener_.Accept(data_, &peer);
    if (!accepted) return accepted;
    if (resetWanted_) return {WSAEINTR};
    // Only the server may connect: anyone else reaching the port is turned away.
    if (peer.sameHost(serverAddress_)) break;
    data_.Close();
  }
  listener_.Close();
  return {};
}

bool CFtpTransfer::Receive() {
  std::vector<char> buffer(kBlockSize);
  CAsciiDecoder decoder;
  std::string decoded;
  std::uint64_t total = 0;
  while (true) {
    const SocketCount got = data_.Recv(buffer.data(), buffer.size());
    if (!got) {
      ReportSocketError(reporter_, got);
      return false;
    }
    if (got.bytes == 0) break;
    const std::string_view piece(buffer.data(), static_cast<std::size_t>(got.bytes));
    total += piece.size();
    received_ = total;
    NoteActivity();
    if (kind_ != FtpTransferKind::Download) {
      if (text_.size() + piece.size() > kLargestListing) return false;
      text_.append(piece);
      continue;
    }
    if (ascii_) {
      decoded.clear();
      decoder.Decode(piece, decoded);
      if (!WriteLocal(decoded)) return false;
    } else if (!WriteLocal(piece)) {
      return false;
    }
    panes_.TransferProgress(total);
  }
  received_ = total;
  if (ascii_ && kind_ == FtpTransferKind::Download) {
    decoded.clear();
    decoder.Flush(decoded);
    if (!WriteLocal(decoded)) return false;
  }
  return !resetWanted_;
}

bool CFtpTransfer::WriteLocal(std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(file_, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      ReportSystemError(written < 0 ? errno : EIO);
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(written));
    written_ += static_cast<std::uint64_t>(written);
  }
  if (written_ - writtenBack_ >= kWriteBackWindow) WriteBack();
  return true;
}

// Starts the window just written on its way to the disk and waits for the
// one before it (errors show again, and are reported, at the final fsync).
void CFtpTransfer::WriteBack() {
  const auto start = static_cast<off_t>(writtenBack_);
  (void)::sync_file_range(file_, start, static_cast<off_t>(written_ - writtenBack_),
                          SYNC_FILE_RANGE_WRITE);
  if (start > previousWindow_) {
    (void)::sync_file_range(
        file_, previousWindow_, start - previousWindow_,
        SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER);
  }
  previousWindow_ = start;
  writtenBack_ = written_;
}

bool CFtpTransfer::Send() {
  {
    std::unique_lock lock(startMutex_);
    startWake_.wait(lock, [this] { return commandSent_ || resetWanted_; });
  }
  std::vector<char> buffer(kBlockSize);
  CAsciiEncoder encoder;
  std::string encoded;
  std::uint64_t total = 0;
  while (true) {
    const ssize_t got = ::read(file_, buffer.data(), buffer.size());
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      ReportSystemError(errno);
      return false;
    }
    if (got == 0) break;
    std::string_view block(buffer.data(), static_cast<std::size_t>(got));
    if (ascii_) {
      encoded.clear();
      encoder.Encode(block, encoded);
      block = encoded;
    }
    while (!block.empty()) {
      const SocketCount sent = data_.Send(block.data(), block.size());
      if (!sent) {
        ReportSocketError(reporter_, sent);
        return false;
      }
      block.remove_prefix(static_cast<std::size_t>(sent.bytes));
    }
    total += static_cast<std::uint64_t>(got);
    NoteActivity();
    panes_.TransferProgress(total);
  }
  if (resetWanted_) return false;
  if (tls_) return EndSecureUpload();
  data_.Interrupt();  // the orderly end (both directions) that tells the server the file is whole
  return true;
}

// In active mode a server may connect as soon as it sees PORT yet set up its
// side of TLS only once the transfer command comes (pyftpdlib drops a
// handshake begun earlier): the handshake waits for that command to go out.
bool CFtpTransfer::SecureConnection() {
  if (!tls_) return true;
  {
    std::unique_lock lock(startMutex_);
    startWake_.wait(lock, [this] { return commandSent_ || resetWanted_; });
  }
  TlsHandshakeReport report;
  if (data_.StartTls(*tls_, report)) return true;
  if (resetWanted_) return false;
  std::string text = "The secure data connection failed: " + SocketErrorText(report.error);
  if (!report.detail.empty()) text += "\n" + report.detail;
  reporter_.PostToolMessage(kSourceFtp, text);
  return false;
}

// close_notify tells the server the file is whole (a plain end could have
// come from anyone on the way); its own close_notify or end is then awaited,
// so that the connection is not reset under a reply still on its way.
bool CFtpTransfer::EndSecureUpload() {
  const SocketStatus ended = data_.ShutdownSend();
  if (!ended) {
    ReportSocketError(reporter_, ended);
    return false;
  }
  char rest[4096];
  while (true) {
    const SocketCount got = data_.Recv(rest, sizeof rest);
    if (!got || got.bytes == 0) break;
  }
  return !resetWanted_;
}

// A server that says 226 after closing the data connection early (or whose
// file changed meanwhile) must not pass for a whole copy.
bool CFtpTransfer::SizeDiffers() const {
  return kind_ == FtpTransferKind::Download && !keepTemporary_ && !temporary_.empty() &&
         expectedSize_ && received_ != *expectedSize_;
}

// The partial copy never takes the target's name (an existing file stays as
// it was); it is kept beside it, where it can be looked at or resumed.
void CFtpTransfer::KeepPartialCopy() {
  const std::filesystem::path partial = target_.string() + ".part";
  const std::string name = DisplayName(target_.filename().string());
  const std::string counts =
      received_ < *expectedSize_
          ? "is truncated: " + std::to_string(received_) + " of the " +
                std::to_string(*expectedSize_) + " bytes the server announced arrived"
          : "does not match its size: " + std::to_string(received_) +
                " bytes arrived where the server announced " + std::to_string(*expectedSize_);
  if (::rename(temporary_.c_str(), partial.c_str()) != 0) {
    ReportSystemError(errno);
    ::unlink(temporary_.c_str());
    reporter_.PostToolMessage(kSourceFtp, "The download of '" + name + "' " + counts + ".");
  } else {
    reporter_.PostToolMessage(kSourceFtp, "The download of '" + name + "' " + counts +
                                              "; the partial copy was kept as '" +
                                              DisplayName(partial.string()) + "'.");
  }
  temporary_.clear();
}

void CFtpTransfer::ApplyRemoteTime() {
  if (!remoteTime_ || file_ < 0 || kind_ != FtpTransferKind::Download || keepTemporary_) return;
  const timespec times[2] = {{0, UTIME_OMIT}, {static_cast<time_t>(*remoteTime_), 0}};
  if (::futimens(file_, times) != 0) ReportSystemError(errno);
}

// An aborted transfer ends with a reset, never with the orderly end that
// would make the server keep a truncated file as complete.
void CFtpTransfer::ResetConnection() { data_.Reset(); }

void CFtpTransfer::ReportSystemError(int code) { reporter_.PostSystemError(code); }

}  // namespace netrove
