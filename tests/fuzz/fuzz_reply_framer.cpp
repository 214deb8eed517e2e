// Feeds arbitrary server bytes to the reply framer, split where the first
// byte says and with the policy it names, as a command connection would
// deliver them in receives. Every reply whose code is in the 2xx range opens
// a dot-terminated block, as NNTP's lists and articles follow their replies.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "base/reply_framer.h"

namespace {

using namespace netrove;

constexpr std::size_t kMaxLine = 256;
constexpr std::size_t kMaxReply = 4096;
constexpr std::size_t kMaxBlock = 2048;

// Takes what the stored bytes hold; false once the stream is refused.
bool Drain(CReplyFramer& framer, std::size_t& framedBytes) {
  while (true) {
    if (framer.InBlock()) {
      std::string_view line;
      const BlockStatus status = framer.NextBlockLine(line);
      if (status == BlockStatus::Line) {
        if (line.size() > kMaxLine || line.find('\n') != std::string_view::npos) __builtin_trap();
        framedBytes += line.size() + 1;
        continue;
      }
      if (status == BlockStatus::End || status == BlockStatus::TooLarge) continue;
      return status == BlockStatus::Incomplete;
    }
    Reply reply;
    const ReplyStatus status = framer.Next(reply);
    if (status == ReplyStatus::Incomplete) return true;
    if (status != ReplyStatus::Complete && status != ReplyStatus::PlainLine) return false;
    if (reply.lines.empty() || reply.code < 0 || reply.code > 999) __builtin_trap();
    for (const auto& line : reply.lines) framedBytes += line.size() + 1;
    if (status == ReplyStatus::Complete && reply.code / 100 == 2) framer.StartBlock(kMaxBlock);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::size_t pieceSize = data[0] % 16 + 1;
  const NonReplyLines policies[] = {NonReplyLines::Show, NonReplyLines::KeepWithReply,
                                    NonReplyLines::Skip};
  const NonReplyLines policy = policies[(data[0] / 16) % 3];
  const std::string_view stream(reinterpret_cast<const char*>(data + 1), size - 1);
  CReplyFramer framer(policy, kMaxLine, kMaxReply);
  std::size_t framedBytes = 0;
  for (std::size_t at = 0; at < stream.size(); at += pieceSize) {
    framer.Feed(stream.substr(at, pieceSize));
    if (!Drain(framer, framedBytes)) break;
    // Whatever is not yet framed stays within the bounds plus one piece.
    if (framer.BufferedSize() > kMaxReply + kMaxLine + pieceSize) __builtin_trap();
  }
  if (framedBytes > stream.size()) __builtin_trap();  // output holds only received bytes
  return 0;
}
