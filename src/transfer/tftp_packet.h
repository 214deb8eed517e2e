#pragma once
// TFTP packets: what goes on the wire and the bounds-checked reading of what
// comes back. Every field is read only after its length has been checked, so
// a datagram of any size and content is answered with a verdict, never a
// read past its end.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace netrove {

enum TftpOpcode : std::uint16_t {
  kTftpRrq = 1,
  kTftpWrq = 2,
  kTftpData = 3,
  kTftpAck = 4,
  kTftpError = 5,
};

enum class TftpMode { Netascii = 0, Octet = 1 };

inline constexpr std::size_t kTftpBlockSize = 512;
inline constexpr std::size_t kTftpHeaderSize = 4;
// The largest packet either side sends: a header and one full block.
inline constexpr std::size_t kTftpMaxPacket = kTftpHeaderSize + kTftpBlockSize;
// The receive buffer: large enough to tell an oversized packet from a full one.
inline constexpr std::size_t kTftpReceiveBuffer = 1024;

// ERROR codes.
enum TftpErrorCode : std::uint16_t {
  kTftpNotDefined = 0,
  kTftpFileNotFound = 1,
  kTftpAccessViolation = 2,
  kTftpDiskFull = 3,
  kTftpIllegalOperation = 4,
  kTftpUnknownPort = 5,
  kTftpFileExists = 6,
  kTftpNoSuchUser = 7,
};

// The text of an error code ("Not defined." for codes outside the table).
std::string_view TftpErrorCodeText(std::uint16_t code);

using TftpPacket = std::vector<std::uint8_t>;

TftpPacket BuildTftpRequest(TftpOpcode opcode, std::string_view fileName, TftpMode mode);
TftpPacket BuildTftpData(std::uint16_t block, std::span<const std::uint8_t> data);
TftpPacket BuildTftpAck(std::uint16_t block);
// The text is cut so that the packet never exceeds kTftpMaxPacket.
TftpPacket BuildTftpError(std::uint16_t code, std::string_view text);

// The opcode of a packet; nothing when it is shorter than two bytes.
std::optional<std::uint16_t> ReadTftpOpcode(std::span<const std::uint8_t> packet);

struct TftpOption {
  std::string name;  // in lower case
  std::string value;
};
using TftpOptionList = std::vector<TftpOption>;

struct TftpRequest {
  TftpOpcode opcode = kTftpRrq;
  std::string fileName;
  TftpMode mode = TftpMode::Octet;
  TftpOptionList options;  // what follows the mode (option extensions)
};

// Why a read or write request cannot be served, with the ERROR to answer.
struct TftpRequestRefusal {
  std::uint16_t code;
  std::string text;
};

// A read or write request: opcode, file name and mode, each NUL-terminated
// inside the packet, then the option pairs (an unfinished pair at the end is
// dropped). Either the request or the refusal is set.
struct TftpRequestParse {
  std::optional<TftpRequest> request;
  std::optional<TftpRequestRefusal> refusal;
};
TftpRequestParse ParseTftpRequest(std::span<const std::uint8_t> packet);

// DATA, ACK or ERROR as a transfer receives them (the length rules of each
// kind are checked by the engine, which knows what it is waiting for).
struct TftpReceived {
  std::uint16_t opcode = 0;
  std::uint16_t number = 0;               // block number or error code
  std::span<const std::uint8_t> payload;  // DATA bytes, or ERROR text bytes
};
// Nothing when the packet is shorter than the four-byte header.
std::optional<TftpReceived> ParseTftpReceived(std::span<const std::uint8_t> packet);

// The text an ERROR packet carries: up to its first NUL or the packet's end.
std::string TftpErrorPacketText(std::span<const std::uint8_t> payload);

}  // namespace netrove
