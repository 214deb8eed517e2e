#include "base/object_archive.h"

namespace netrove {
namespace {

// Escapes inside a string's length prefix.
constexpr std::uint8_t kByteLengthEscape = 0xFF;
constexpr std::uint16_t kWideStringMarker = 0xFFFE;
constexpr std::uint16_t kWordLengthEscape = 0xFFFF;
constexpr std::uint32_t kDwordLengthEscape = 0xFFFFFFFF;
constexpr std::uint16_t kCountEscape = 0xFFFF;

}  // namespace

void ArchiveWriter::WriteUInt8(std::uint8_t value) { bytes_.push_back(static_cast<char>(value)); }

void ArchiveWriter::WriteUInt16(std::uint16_t value) {
  WriteUInt8(static_cast<std::uint8_t>(value & 0xFF));
  WriteUInt8(static_cast<std::uint8_t>(value >> 8));
}

void ArchiveWriter::WriteUInt32(std::uint32_t value) {
  WriteUInt16(static_cast<std::uint16_t>(value & 0xFFFF));
  WriteUInt16(static_cast<std::uint16_t>(value >> 16));
}

void ArchiveWriter::WriteCount(std::uint32_t count) {
  if (count < kCountEscape) {
    WriteUInt16(static_cast<std::uint16_t>(count));
    return;
  }
  WriteUInt16(kCountEscape);
  WriteUInt32(count);
}

void ArchiveWriter::WriteString(std::string_view text) {
  const std::size_t length = text.size();
  if (length < kByteLengthEscape) {
    WriteUInt8(static_cast<std::uint8_t>(length));
  } else if (length < kWideStringMarker) {
    WriteUInt8(kByteLengthEscape);
    WriteUInt16(static_cast<std::uint16_t>(length));
  } else {
    WriteUInt8(kByteLengthEscape);
    WriteUInt16(kWordLengthEscape);
    WriteUInt32(static_cast<std::uint32_t>(length));
  }
  bytes_.append(text);
}

void ArchiveWriter::WriteClassDescription(std::string_view className, std::uint16_t schema) {
  WriteUInt16(kArchiveNewClassTag);
  WriteUInt16(schema);
  WriteUInt16(static_cast<std::uint16_t>(className.size()));
  bytes_.append(className);
}

void ArchiveWriter::WriteClassReference(std::uint16_t tableIndex) {
  WriteUInt16(static_cast<std::uint16_t>(kArchiveClassTag | tableIndex));
}

bool ArchiveReader::Take(std::size_t size, const char** start) {
  if (size > remaining()) {
    fault_ = ArchiveFault::kTruncated;
    return false;
  }
  *start = data_.data() + position_;
  position_ += size;
  return true;
}

std::optional<std::uint8_t> ArchiveReader::ReadUInt8() {
  const char* start = nullptr;
  if (!Take(1, &start)) return std::nullopt;
  return static_cast<std::uint8_t>(*start);
}

std::optional<std::uint16_t> ArchiveReader::ReadUInt16() {
  const char* start = nullptr;
  if (!Take(2, &start)) return std::nullopt;
  const auto low = static_cast<std::uint8_t>(start[0]);
  const auto high = static_cast<std::uint8_t>(start[1]);
  return static_cast<std::uint16_t>(low | (high << 8));
}

std::optional<std::uint32_t> ArchiveReader::ReadUInt32() {
  const auto low = ReadUInt16();
  if (!low) return std::nullopt;
  const auto high = ReadUInt16();
  if (!high) return std::nullopt;
  return static_cast<std::uint32_t>(*low) | (static_cast<std::uint32_t>(*high) << 16);
}

std::optional<std::uint32_t> ArchiveReader::ReadCount() {
  const auto shortCount = ReadUInt16();
  if (!shortCount) return std::nullopt;
  if (*shortCount != kCountEscape) return *shortCount;
  return ReadUInt32();
}

std::optional<std::string> ArchiveReader::ReadString() {
  std::uint32_t length = 0;
  const auto byteLength = ReadUInt8();
  if (!byteLength) return std::nullopt;
  length = *byteLength;
  if (length == kByteLengthEscape) {
    const auto wordLength = ReadUInt16();
    if (!wordLength) return std::nullopt;
    if (*wordLength == kWideStringMarker) {
      fault_ = ArchiveFault::kWideString;
      return std::nullopt;
    }
    length = *wordLength;
    if (length == kWordLengthEscape) {
      const auto dwordLength = ReadUInt32();
      if (!dwordLength || *dwordLength == kDwordLengthEscape) return std::nullopt;
      length = *dwordLength;
    }
  }
  const char* start = nullptr;
  if (!Take(length, &start)) return std::nullopt;
  return std::string(start, length);
}

std::optional<ArchiveReader::ClassDescription> ArchiveReader::ReadClassDescription() {
  const auto schema = ReadUInt16();
  if (!schema) return std::nullopt;
  const auto nameLength = ReadUInt16();
  if (!nameLength || *nameLength > kArchiveMaxClassNameLength) return std::nullopt;
  const char* start = nullptr;
  if (!Take(*nameLength, &start)) return std::nullopt;
  return ClassDescription{*schema, std::string(start, *nameLength)};
}

}  // namespace netrove
