#pragma once
// The local file of a transfer: read for sending, written for receiving. A
// received file that is not kept (the transfer did not finish) is deleted
// when the object ends, so a partly received file never remains.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

namespace netrove {

class ITftpFile {
 public:
  virtual ~ITftpFile() = default;
  // Up to `size` bytes; the count (0 at the end) or -errno.
  virtual long Read(std::uint8_t* into, std::size_t size) = 0;
  // Writes every byte; 0 or an errno value.
  virtual int Write(const std::uint8_t* data, std::size_t size) = 0;
  // The transfer finished: a received file stays.
  virtual void Keep() = 0;
  // The size of a file being read, when it is known.
  virtual std::optional<std::uint64_t> Size() const { return std::nullopt; }
};

// Opening a file gives it or the errno value of the failure.
struct TftpFileOpen {
  std::unique_ptr<ITftpFile> file;
  int error = 0;
};

// An existing regular file, read from its start.
TftpFileOpen OpenTftpFileForReading(const std::filesystem::path& path);
// A new file (never one that exists), deleted again unless kept.
TftpFileOpen CreateTftpFile(const std::filesystem::path& path);

// A file below a served folder. `name` is the request's name, which must start
// with "/" and is taken relative to the folder; no component may be "..", and
// no symbolic link may lead out of the folder. Refusals give EXDEV (outside
// the folder) or the errno of the open.
TftpFileOpen OpenServedFileForReading(const std::filesystem::path& folder, const std::string& name);
TftpFileOpen CreateServedFile(const std::filesystem::path& folder, const std::string& name);

}  // namespace netrove
