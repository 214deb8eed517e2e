// Feeds arbitrary server output to the NNTP receive buffer, alternating
// status replies and data blocks, cut into pieces where the first byte says:
// the framing must not depend on how the bytes arrived. (A delivered block
// may well hold a "." line: that is how a stuffed ".." line comes out.)
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "news/nntp_receive_buffer.h"

namespace {

std::string Frame(std::string_view bytes, std::size_t step) {
  netrove::CNntpReceiveBuffer buffer(4096);
  std::string frames;
  bool inBlock = false;
  for (std::size_t at = 0; at < bytes.size(); at += step) {
    buffer.Append(bytes.substr(at, step));
    for (;;) {
      std::string text;
      long lines = 0;
      const auto result = inBlock ? buffer.NextBlock(text, lines) : buffer.NextStatus(text);
      if (result == netrove::FrameResult::TooLong) return frames + "|too long";
      if (result == netrove::FrameResult::Incomplete) break;
      frames += (inBlock ? "|block " : "|status ") + text;
      inBlock = !inBlock && !text.empty() && text[0] == '2';
    }
  }
  return frames;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::size_t step = data[0] % 13 + 1;
  const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);
  if (Frame(bytes, step) != Frame(bytes, bytes.size() + 1)) std::abort();
  return 0;
}
