// Feeds arbitrary server bytes to the reply framer, split where the first
// byte says, as a command connection would deliver them in receives.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "base/reply_framer.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace netrove;
  if (size == 0) return 0;
  const std::size_t pieceSize = data[0] % 16 + 1;
  const std::string_view stream(reinterpret_cast<const char*>(data + 1), size - 1);
  CReplyFramer framer(256, 4096);
  std::size_t framedBytes = 0;
  Reply reply;
  for (std::size_t at = 0; at < stream.size(); at += pieceSize) {
    framer.Feed(stream.substr(at, pieceSize));
    ReplyStatus status;
    while ((status = framer.Next(reply)) == ReplyStatus::Complete) {
      if (reply.lines.empty() || reply.code < 0 || reply.code > 999) __builtin_trap();
      for (const auto& line : reply.lines) framedBytes += line.size() + 1;
    }
    // Whatever is not yet framed stays within the bounds plus one piece.
    if (framer.BufferedSize() > 4096 + 256 + pieceSize) __builtin_trap();
  }
  if (framedBytes > stream.size()) __builtin_trap();  // replies hold only received bytes
  return 0;
}
