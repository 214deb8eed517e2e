#include "transfer/ftp_reply_reader.h"

#include <cctype>

namespace netrove {
namespace {

bool StartsWithCode(std::string_view line) {
  return line.size() >= 3 && std::isdigit(static_cast<unsigned char>(line[0])) &&
         std::isdigit(static_cast<unsigned char>(line[1])) &&
         std::isdigit(static_cast<unsigned char>(line[2]));
}

int CodeOf(std::string_view line) {
  return (line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0');
}

std::string WithoutLineEnd(std::string_view line) {
  if (line.ends_with('\n')) line.remove_suffix(1);
  if (line.ends_with('\r')) line.remove_suffix(1);
  return std::string(line);
}

}  // namespace

bool CFtpReplyReader::Feed(std::string_view bytes, std::vector<FtpServerLine>& out) {
  while (!bytes.empty()) {
    const std::size_t end = bytes.find('\n');
    if (end == std::string_view::npos) {
      if (partial_.size() + bytes.size() > kMaxLine) return false;
      partial_.append(bytes);
      return true;
    }
    bool ok = true;
    if (partial_.empty()) {
      ok = TakeLine(bytes.substr(0, end + 1), out);
    } else {
      if (partial_.size() + end + 1 > kMaxLine) return false;
      partial_.append(bytes.substr(0, end + 1));
      ok = TakeLine(partial_, out);
      partial_.clear();
    }
    if (!ok) return false;
    bytes.remove_prefix(end + 1);
  }
  return true;
}

// One line, its LF included.
bool CFtpReplyReader::TakeLine(std::string_view line, std::vector<FtpServerLine>& out) {
  if (!insideReply_) {
    const std::string text = WithoutLineEnd(line);
    const char separator = text.size() > 3 ? text[3] : ' ';
    if (!StartsWithCode(text)) {
      out.push_back({false, 0, {}, text + "\r\n"});
      return true;
    }
    if (separator != ' ' && separator != '-') {
      out.push_back({true, CodeOf(text), text, text + "\r\n"});
      return true;
    }
  }
  framer_.Feed(line);
  Reply reply;
  const ReplyStatus status = framer_.Next(reply);
  insideReply_ = status == ReplyStatus::Incomplete;
  if (status == ReplyStatus::Incomplete) return true;
  if (status != ReplyStatus::Complete) return false;
  FtpServerLine framed{true, reply.code, reply.lines.front(), {}};
  for (const std::string& replyLine : reply.lines) framed.transcript += replyLine + "\r\n";
  out.push_back(std::move(framed));
  return true;
}

}  // namespace netrove
