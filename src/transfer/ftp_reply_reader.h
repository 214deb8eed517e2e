#pragma once
// What the control connection receives, as the shared reply framer frames
// it: a reply ("220 text", a multi-line "220-" ... "220 " block, or "220x..."
// taken as a one-line reply) or a plain line that belongs to no reply (a
// banner continuation without a code), which is shown but never answered.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "base/reply_framer.h"

namespace netrove {

struct FtpServerLine {
  bool isReply = false;
  int code = 0;            // replies only
  std::string firstLine;   // replies: the first line, line end removed
  std::string transcript;  // every line of it, each ending CR LF
};

class CFtpReplyReader {
 public:
  // A server line longer than this without a line end ends the connection.
  static constexpr std::size_t kMaxLine = 64 * 1024;

  // Adds received bytes; complete lines and replies go to `out` in order.
  // False when the stream cannot be framed (a line or a reply too long);
  // nothing more should be fed then.
  bool Feed(std::string_view bytes, std::vector<FtpServerLine>& out);
  // Bytes received after the last complete line.
  std::size_t Buffered() const { return framer_.BufferedSize(); }

 private:
  CReplyFramer framer_{NonReplyLines::Show, kMaxLine};
};

}  // namespace netrove
