#pragma once
// TFTP option negotiation: the options a client asks for in its request
// (block size, transfer size, retransmission time-out, window size), the
// server's answer (OACK) and the client's check of that answer. Requests and
// answers come from the network: every name and value is bounds-checked, and
// anything not understood is ignored (server) or refused (client).
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "transfer/tftp_packet.h"

namespace netrove {

inline constexpr std::uint16_t kTftpOack = 6;
inline constexpr std::uint16_t kTftpOptionRefused = 8;  // the ERROR code that ends a negotiation
inline constexpr std::size_t kTftpSmallestBlockSize = 8;
inline constexpr std::size_t kTftpLargestBlockSize = 65464;
// A sender keeps a whole window of blocks for retransmission: the window is
// capped so a transfer's memory stays bounded (64 blocks of the largest size
// are 4 MiB).
inline constexpr std::size_t kTftpLargestWindowSize = 64;
inline constexpr std::uint32_t kTftpLongestOptionTimeout = 255;
// The largest DATA packet of any negotiation.
inline constexpr std::size_t kTftpLargestPacket = kTftpHeaderSize + kTftpLargestBlockSize;

// What a client asks for; 0 (or false) leaves the option out.
struct TftpOptions {
  std::size_t blockSize = 0;
  std::size_t windowSize = 0;
  std::uint32_t timeoutSeconds = 0;
  bool transferSize = false;
  bool Any() const {
    return blockSize != 0 || windowSize != 0 || timeoutSeconds != 0 || transferSize;
  }
};

// What a transfer runs with: the classic values until a negotiation changes
// them.
struct TftpTransferParameters {
  std::size_t blockSize = kTftpBlockSize;
  std::size_t windowSize = 1;
  std::uint32_t timeoutSeconds = 0;  // 0: the adaptive time-out
  std::optional<std::uint64_t> transferSize;
};

// Name/value pairs, each NUL-terminated, as they follow a request's mode or an
// OACK's opcode. An unfinished pair at the end is dropped.
TftpOptionList ReadTftpOptions(std::span<const std::uint8_t> bytes);

// Appends the asked options to a request. `transferSize` is the size sent
// with "tsize" (0 in a read request, the file's size in a write request).
void AppendTftpOptions(TftpPacket& request, const TftpOptions& asked, std::uint64_t transferSize);

TftpPacket BuildTftpOack(const TftpOptionList& options);

// The client's verdict on an OACK: the parameters to run with, or why the
// answer is refused (an option not asked for, or a value outside what was
// asked). `sentSize` is the tsize a write request carried.
struct TftpOackCheck {
  std::optional<TftpTransferParameters> parameters;
  std::string refusal;
};
TftpOackCheck CheckTftpOack(const TftpOptions& asked, std::optional<std::uint64_t> sentSize,
                            std::span<const std::uint8_t> oackOptions);

// The server's answer to a request's options: what it runs with and the
// OACK's options (empty: no OACK, the transfer starts as without options).
// `fileSize` is known for a read request of a regular file.
struct TftpNegotiation {
  TftpTransferParameters parameters;
  TftpOptionList answer;
};
TftpNegotiation NegotiateTftpOptions(const TftpOptionList& requested, TftpOpcode opcode,
                                     TftpMode mode, std::optional<std::uint64_t> fileSize);

}  // namespace netrove
