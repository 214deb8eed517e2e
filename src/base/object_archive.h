#pragma once
// The primitives of the framework's object archive that the address book is
// stored in: little-endian words, counts with an escape for large values,
// strings with a 1-, 3- or 7-byte length prefix, and class descriptions and
// class tags. The reader never reads past its data and reports the first
// fault instead of throwing.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace netrove {

// Tags that precede an object in the archive.
inline constexpr std::uint16_t kArchiveNewClassTag = 0xFFFF;  // a class description follows
inline constexpr std::uint16_t kArchiveClassTag = 0x8000;     // OR-ed with a table index
// Class names are limited by the framework's fixed-size name buffer.
inline constexpr std::size_t kArchiveMaxClassNameLength = 63;

class ArchiveWriter {
 public:
  void WriteUInt8(std::uint8_t value);
  void WriteUInt16(std::uint16_t value);
  void WriteUInt32(std::uint32_t value);
  // 2 bytes, or 0xFFFF and 4 bytes from 0xFFFF on.
  void WriteCount(std::uint32_t count);
  // Length (1, 3 or 7 bytes) and the bytes, no terminator. Strings of 4 GiB
  // and more cannot be stored; the caller never has one.
  void WriteString(std::string_view text);
  // The new-class tag, the schema, the name's length and the name.
  void WriteClassDescription(std::string_view className, std::uint16_t schema);
  // The tag of a class already described: its index in the archive's table.
  void WriteClassReference(std::uint16_t tableIndex);

  const std::string& bytes() const { return bytes_; }

 private:
  std::string bytes_;
};

// Why the last read of an ArchiveReader failed.
enum class ArchiveFault {
  kNone,
  kTruncated,   // the data ends before the value does
  kWideString,  // a string of the framework's wide characters
};

class ArchiveReader {
 public:
  explicit ArchiveReader(std::span<const char> data) : data_(data) {}

  std::optional<std::uint8_t> ReadUInt8();
  std::optional<std::uint16_t> ReadUInt16();
  std::optional<std::uint32_t> ReadUInt32();
  std::optional<std::uint32_t> ReadCount();
  // Fails when the length runs past the data (nothing is allocated before
  // that check) and for the framework's wide-character strings, which the
  // address book never holds.
  std::optional<std::string> ReadString();
  // After the new-class tag: schema, length and name. The name's length is
  // checked against kArchiveMaxClassNameLength.
  struct ClassDescription {
    std::uint16_t schema;
    std::string name;
  };
  std::optional<ClassDescription> ReadClassDescription();

  ArchiveFault fault() const { return fault_; }
  std::size_t remaining() const { return data_.size() - position_; }
  std::size_t position() const { return position_; }

 private:
  bool Take(std::size_t size, const char** start);

  std::span<const char> data_;
  std::size_t position_ = 0;
  ArchiveFault fault_ = ArchiveFault::kNone;
};

}  // namespace netrove
