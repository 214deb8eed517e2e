#include "transfer/tftp_packet.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "transfer/tftp_options.h"

namespace netrove {
namespace {

constexpr std::array<std::string_view, 8> kErrorCodeTexts = {"Not defined.",
                                                             "File not found.",
                                                             "Access violation.",
                                                             "Disk full or allocation exceeded.",
                                                             "Illegal TFTP operation.",
                                                             "Unknown port number.",
                                                             "File already exists.",
                                                             "No such user."};

constexpr std::string_view kInvalidFileName = "Invalid file name.";
constexpr std::string_view kInvalidMode = "Invalid mode.";

void PutNumber(TftpPacket& packet, std::uint16_t value) {
  packet.push_back(static_cast<std::uint8_t>(value >> 8));
  packet.push_back(static_cast<std::uint8_t>(value & 0xFF));
}

std::uint16_t NumberAt(std::span<const std::uint8_t> packet, std::size_t offset) {
  return static_cast<std::uint16_t>((packet[offset] << 8) | packet[offset + 1]);
}

void PutText(TftpPacket& packet, std::string_view text) {
  packet.insert(packet.end(), text.begin(), text.end());
  packet.push_back(0);
}

// The NUL-terminated text starting at `offset`; nothing when no NUL comes
// before the end of the packet. `offset` moves past the NUL.
std::optional<std::string> TakeText(std::span<const std::uint8_t> packet, std::size_t& offset) {
  if (offset >= packet.size()) return std::nullopt;
  const auto rest = packet.subspan(offset);
  const auto end = std::find(rest.begin(), rest.end(), std::uint8_t{0});
  if (end == rest.end()) return std::nullopt;
  std::string text(rest.begin(), end);
  offset += text.size() + 1;
  return text;
}

bool SameWithoutCase(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    const auto lower = [](char c) {
      return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
    };
    return lower(x) == lower(y);
  });
}

TftpRequestParse Refuse(std::uint16_t code, std::string_view text) {
  return {std::nullopt, TftpRequestRefusal{code, std::string(text)}};
}

}  // namespace

std::string_view TftpErrorCodeText(std::uint16_t code) {
  return code < kErrorCodeTexts.size() ? kErrorCodeTexts[code] : kErrorCodeTexts[0];
}

TftpPacket BuildTftpRequest(TftpOpcode opcode, std::string_view fileName, TftpMode mode) {
  TftpPacket packet;
  PutNumber(packet, opcode);
  PutText(packet, fileName);
  PutText(packet, mode == TftpMode::Netascii ? "netascii" : "octet");
  return packet;
}

TftpPacket BuildTftpData(std::uint16_t block, std::span<const std::uint8_t> data) {
  TftpPacket packet;
  packet.reserve(kTftpHeaderSize + data.size());
  PutNumber(packet, kTftpData);
  PutNumber(packet, block);
  packet.insert(packet.end(), data.begin(), data.end());
  return packet;
}

TftpPacket BuildTftpAck(std::uint16_t block) {
  TftpPacket packet;
  PutNumber(packet, kTftpAck);
  PutNumber(packet, block);
  return packet;
}

TftpPacket BuildTftpError(std::uint16_t code, std::string_view text) {
  // Header, text and its NUL must fit one packet of the largest size.
  constexpr std::size_t kMaxText = kTftpMaxPacket - kTftpHeaderSize - 1;
  TftpPacket packet;
  PutNumber(packet, kTftpError);
  PutNumber(packet, code);
  text = text.substr(0, kMaxText);
  // A NUL inside the text would end it early for the reader; cut there.
  text = text.substr(0, text.find('\0'));
  PutText(packet, text);
  return packet;
}

std::optional<std::uint16_t> ReadTftpOpcode(std::span<const std::uint8_t> packet) {
  if (packet.size() < 2) return std::nullopt;
  return NumberAt(packet, 0);
}

TftpRequestParse ParseTftpRequest(std::span<const std::uint8_t> packet) {
  const auto opcode = ReadTftpOpcode(packet);
  if (!opcode || (*opcode != kTftpRrq && *opcode != kTftpWrq)) return {};
  std::size_t offset = 2;
  auto fileName = TakeText(packet, offset);
  if (!fileName) return Refuse(kTftpNotDefined, kInvalidFileName);
  const auto mode = TakeText(packet, offset);
  if (!mode) return Refuse(kTftpNotDefined, kInvalidMode);
  TftpRequest request;
  request.opcode = static_cast<TftpOpcode>(*opcode);
  request.fileName = std::move(*fileName);
  if (SameWithoutCase(*mode, "netascii")) {
    request.mode = TftpMode::Netascii;
  } else if (SameWithoutCase(*mode, "octet")) {
    request.mode = TftpMode::Octet;
  } else {
    return Refuse(kTftpIllegalOperation, kInvalidMode);
  }
  request.options = ReadTftpOptions(packet.subspan(offset));
  return {std::move(request), std::nullopt};
}

std::optional<TftpReceived> ParseTftpReceived(std::span<const std::uint8_t> packet) {
  if (packet.size() < kTftpHeaderSize) return std::nullopt;
  return TftpReceived{NumberAt(packet, 0), NumberAt(packet, 2), packet.subspan(kTftpHeaderSize)};
}

std::string TftpErrorPacketText(std::span<const std::uint8_t> payload) {
  const auto end = std::find(payload.begin(), payload.end(), std::uint8_t{0});
  return std::string(payload.begin(), end);
}

}  // namespace netrove
