#include "transfer/tftp_netascii.h"

#include "transfer/tftp_file.h"

namespace netrove {
namespace {

constexpr std::uint8_t kCr = '\r';
constexpr std::uint8_t kLf = '\n';

}  // namespace

bool CNetasciiEncoder::NextByte(ITftpFile& file, std::uint8_t& byte, long& error) {
  if (position_ == filled_) {
    const long count = file.Read(buffer_.data(), buffer_.size());
    if (count < 0) {
      error = count;
      return false;
    }
    position_ = 0;
    filled_ = static_cast<std::size_t>(count);
    if (filled_ == 0) return false;
  }
  byte = buffer_[position_++];
  return true;
}

long CNetasciiEncoder::Fill(ITftpFile& file, std::span<std::uint8_t> block) {
  std::size_t placed = 0;
  while (placed < block.size()) {
    if (pending_) {
      block[placed++] = pendingByte_;
      pending_ = false;
      continue;
    }
    std::uint8_t byte = 0;
    long error = 0;
    if (!NextByte(file, byte, error)) {
      if (error < 0) return error;
      break;
    }
    if (byte == kLf || byte == kCr) {
      pending_ = true;
      pendingByte_ = byte == kLf ? kLf : 0;
      byte = kCr;
    }
    block[placed++] = byte;
  }
  return static_cast<long>(placed);
}

bool CNetasciiDecoder::Decode(std::span<const std::uint8_t> data, std::vector<std::uint8_t>& out) {
  for (const std::uint8_t byte : data) {
    if (crPending_) {
      crPending_ = false;
      if (byte == kLf) {
        out.push_back(kLf);
      } else if (byte == 0) {
        out.push_back(kCr);
      } else {
        return false;
      }
    } else if (byte == kCr) {
      crPending_ = true;
    } else {
      out.push_back(byte);
    }
  }
  return true;
}

void CNetasciiDecoder::Finish(std::vector<std::uint8_t>& out) {
  if (crPending_) out.push_back(kCr);
  crPending_ = false;
}

}  // namespace netrove
