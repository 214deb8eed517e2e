#include "transfer/tftp_options.h"

#include <algorithm>
#include <charconv>

namespace netrove {
namespace {

constexpr std::string_view kBlockSize = "blksize";
constexpr std::string_view kWindowSize = "windowsize";
constexpr std::string_view kTimeout = "timeout";
constexpr std::string_view kTransferSize = "tsize";
// A request fits in one small datagram; more pairs than this are no request
// any client sends.
constexpr std::size_t kMostOptions = 16;

void PutText(TftpPacket& packet, std::string_view text) {
  packet.insert(packet.end(), text.begin(), text.end());
  packet.push_back(0);
}

std::string Lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  }
  return text;
}

// A plain decimal number, nothing before or after it.
std::optional<std::uint64_t> Number(const std::string& text) {
  std::uint64_t value = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  if (text.empty() || error != std::errc{} || stop != end) return std::nullopt;
  return value;
}

void Put(TftpPacket& packet, std::string_view name, std::uint64_t value) {
  PutText(packet, name);
  PutText(packet, std::to_string(value));
}

std::string OutsideText(const TftpOption& option) {
  return "The server answered the option " + option.name + " with " + option.value.substr(0, 20) +
         ", which is not what was asked.";
}

// One option of an OACK checked against the request; false with the refusal
// set when it is not acceptable.
bool AcceptAnswer(const TftpOption& option, const TftpOptions& asked,
                  std::optional<std::uint64_t> sentSize, TftpTransferParameters& parameters,
                  std::string& refusal) {
  const auto value = Number(option.value);
  bool good = false;
  if (option.name == kBlockSize && asked.blockSize != 0) {
    good = value && *value >= kTftpSmallestBlockSize && *value <= asked.blockSize;
    if (good) parameters.blockSize = static_cast<std::size_t>(*value);
  } else if (option.name == kWindowSize && asked.windowSize != 0) {
    good = value && *value >= 1 && *value <= asked.windowSize;
    if (good) parameters.windowSize = static_cast<std::size_t>(*value);
  } else if (option.name == kTimeout && asked.timeoutSeconds != 0) {
    good = value && *value == asked.timeoutSeconds;
    if (good) parameters.timeoutSeconds = asked.timeoutSeconds;
  } else if (option.name == kTransferSize && asked.transferSize) {
    // A read learns the file's size; a write hears its own size again.
    good = value && (!sentSize || *value == *sentSize);
    if (good) parameters.transferSize = *value;
  } else {
    refusal = "The server answered with an option that was not asked for (" +
              option.name.substr(0, 20) + ").";
    return false;
  }
  if (!good) refusal = OutsideText(option);
  return good;
}

}  // namespace

TftpOptionList ReadTftpOptions(std::span<const std::uint8_t> bytes) {
  TftpOptionList options;
  const auto take = [&bytes](std::string& text) {
    const auto end = std::find(bytes.begin(), bytes.end(), std::uint8_t{0});
    if (end == bytes.end()) return false;
    text.assign(bytes.begin(), end);
    bytes = bytes.subspan(text.size() + 1);
    return true;
  };
  while (!bytes.empty() && options.size() < kMostOptions) {
    TftpOption option;
    if (!take(option.name) || !take(option.value)) break;
    option.name = Lower(std::move(option.name));
    options.push_back(std::move(option));
  }
  return options;
}

void AppendTftpOptions(TftpPacket& request, const TftpOptions& asked, std::uint64_t transferSize) {
  if (asked.blockSize != 0) Put(request, kBlockSize, asked.blockSize);
  if (asked.timeoutSeconds != 0) Put(request, kTimeout, asked.timeoutSeconds);
  if (asked.transferSize) Put(request, kTransferSize, transferSize);
  if (asked.windowSize != 0) Put(request, kWindowSize, asked.windowSize);
}

TftpPacket BuildTftpOack(const TftpOptionList& options) {
  TftpPacket packet{0, static_cast<std::uint8_t>(kTftpOack)};
  for (const TftpOption& option : options) {
    PutText(packet, option.name);
    PutText(packet, option.value);
  }
  return packet;
}

TftpOackCheck CheckTftpOack(const TftpOptions& asked, std::optional<std::uint64_t> sentSize,
                            std::span<const std::uint8_t> oackOptions) {
  TftpOackCheck check;
  if (!asked.Any()) {
    check.refusal = "The server answered with options none were asked for.";
    return check;
  }
  TftpTransferParameters parameters;
  std::vector<std::string> seen;
  for (const TftpOption& option : ReadTftpOptions(oackOptions)) {
    if (std::find(seen.begin(), seen.end(), option.name) != seen.end()) {
      check.refusal = "The server answered the option " + option.name.substr(0, 20) + " twice.";
      return check;
    }
    seen.push_back(option.name);
    if (!AcceptAnswer(option, asked, sentSize, parameters, check.refusal)) return check;
  }
  check.parameters = parameters;
  return check;
}

TftpNegotiation NegotiateTftpOptions(const TftpOptionList& requested, TftpOpcode opcode,
                                     TftpMode mode, std::optional<std::uint64_t> fileSize) {
  TftpNegotiation negotiation;
  TftpTransferParameters& parameters = negotiation.parameters;
  const auto answer = [&negotiation](std::string_view name, std::uint64_t value) {
    for (const TftpOption& given : negotiation.answer) {
      if (given.name == name) return false;  // the first of repeated options counts
    }
    negotiation.answer.push_back({std::string(name), std::to_string(value)});
    return true;
  };
  for (const TftpOption& option : requested) {
    const auto value = Number(option.value);
    if (!value) continue;
    if (option.name == kBlockSize && *value >= kTftpSmallestBlockSize) {
      const auto size = std::min<std::uint64_t>(*value, kTftpLargestBlockSize);
      if (answer(kBlockSize, size)) parameters.blockSize = static_cast<std::size_t>(size);
    } else if (option.name == kWindowSize && *value >= 1 && *value <= 65535) {
      const auto size = std::min<std::uint64_t>(*value, kTftpLargestWindowSize);
      if (answer(kWindowSize, size)) parameters.windowSize = static_cast<std::size_t>(size);
    } else if (option.name == kTimeout && *value >= 1 && *value <= kTftpLongestOptionTimeout) {
      if (answer(kTimeout, *value)) parameters.timeoutSeconds = static_cast<std::uint32_t>(*value);
    } else if (option.name == kTransferSize && opcode == kTftpWrq) {
      if (answer(kTransferSize, *value)) parameters.transferSize = *value;
    } else if (option.name == kTransferSize && fileSize && mode == TftpMode::Octet) {
      // A netascii file's size on the wire is not known before it is sent.
      if (answer(kTransferSize, *fileSize)) parameters.transferSize = *fileSize;
    }
  }
  return negotiation;
}

}  // namespace netrove
