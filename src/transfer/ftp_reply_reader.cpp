#include "transfer/ftp_reply_reader.h"

namespace netrove {

bool CFtpReplyReader::Feed(std::string_view bytes, std::vector<FtpServerLine>& out) {
  framer_.Feed(bytes);
  Reply reply;
  while (true) {
    switch (framer_.Next(reply)) {
      case ReplyStatus::Complete: {
        FtpServerLine framed{true, reply.code, reply.lines.front(), {}};
        for (const std::string& line : reply.lines) framed.transcript += line + "\r\n";
        out.push_back(std::move(framed));
        break;
      }
      case ReplyStatus::PlainLine:
        out.push_back({false, 0, {}, reply.lines.front() + "\r\n"});
        break;
      case ReplyStatus::Incomplete:
        return true;
      case ReplyStatus::LineTooLong:
      case ReplyStatus::ReplyTooLong:
        return false;
    }
  }
}

}  // namespace netrove
