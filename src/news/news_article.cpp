#include "news/news_article.h"

#include <algorithm>
#include <cctype>

#include "base/product.h"
#include "news/article_text.h"
#include "news/mime_text.h"

namespace netrove {
namespace {

constexpr std::string_view kReplyPrefix = "Re: ";
constexpr std::string_view kTerminator = "\r\n.\r\n";

// A header value on one line: a line end in it would start a header of the
// sender's choosing.
std::string OneLine(std::string_view value) {
  std::string line(value);
  std::replace_if(
      line.begin(), line.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
  return line;
}

void AddHeader(std::string& wire, std::string_view name, std::string_view value) {
  wire.append(name);
  wire.append(OneLine(value));
  wire.append("\r\n");
}

void AddOptionalHeader(std::string& wire, std::string_view name, std::string_view value) {
  if (!value.empty()) AddHeader(wire, name, value);
}

// An address field with a name that is not ASCII: only the name is encoded,
// inside its parentheses in "address (name)", before the angle brackets in
// "name <address>".
std::string EncodedAddress(std::string_view value) {
  if (!HasNonAscii(value)) return std::string(value);
  const std::size_t open = value.find('(');
  const std::size_t close = value.rfind(')');
  if (open != std::string_view::npos && close != std::string_view::npos && close > open) {
    return std::string(value.substr(0, open + 1)) +
           EncodedHeaderValue(value.substr(open + 1, close - open - 1)) +
           std::string(value.substr(close));
  }
  const std::size_t angle = value.rfind('<');
  if (angle != std::string_view::npos && angle > 0) {
    std::string_view name = value.substr(0, angle);
    while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
    return EncodedHeaderValue(name) + " " + std::string(value.substr(angle));
  }
  return EncodedHeaderValue(value);
}

bool StartsWithReply(std::string_view subject) {
  if (subject.size() < kReplyPrefix.size()) return false;
  for (std::size_t i = 0; i < kReplyPrefix.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(subject[i])) !=
        std::tolower(static_cast<unsigned char>(kReplyPrefix[i]))) {
      return false;
    }
  }
  return true;
}

// CR LF, a lone LF and a lone CR all end a line; each becomes CR LF, and a
// line that starts with "." gets a second one.
std::string StuffedBody(std::string_view body) {
  std::string wire;
  wire.reserve(body.size() + body.size() / 16 + kTerminator.size());
  bool lineStart = true;
  for (std::size_t i = 0; i < body.size(); ++i) {
    const char c = body[i];
    if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < body.size() && body[i + 1] == '\n') ++i;
      wire.append("\r\n");
      lineStart = true;
      continue;
    }
    if (lineStart && c == '.') wire += '.';
    wire += c;
    lineStart = false;
  }
  return wire;
}

// Where the first line over the limit is, or "" when none is.
std::string OverlongLine(const std::string& wire) {
  const std::size_t bodyStart = wire.find("\r\n\r\n") + 4;
  std::size_t at = 0;
  long bodyLine = 0;
  while (at < wire.size()) {
    const std::size_t end = wire.find("\r\n", at);
    std::size_t length = (end == std::string::npos ? wire.size() : end) - at;
    if (at >= bodyStart) {
      ++bodyLine;
      if (wire.compare(at, 2, "..") == 0) --length;  // the stuffed dot is not the article's
    }
    if (length > kLongestArticleLine) {
      if (at >= bodyStart) return "line " + std::to_string(bodyLine) + " of the body";
      return "the " + wire.substr(at, wire.find(':', at) - at) + " header";
    }
    if (end == std::string::npos) break;
    at = end + 2;
  }
  return {};
}

}  // namespace

namespace {

// The value without blanks: "a.b, c.d" is "a.b,c.d".
std::string WithoutBlanks(std::string_view value) {
  std::string kept;
  for (const char c : value) {
    if (c != ' ' && c != '\t' && c != '\r' && c != '\n') kept += c;
  }
  return kept;
}

}  // namespace

FollowUpTarget FollowUpGroups(std::string_view newsgroups, std::string_view followupTo,
                              std::string_view readIn) {
  std::string groups = WithoutBlanks(newsgroups);
  if (groups.empty()) groups = readIn;
  std::string asked = WithoutBlanks(followupTo);
  std::transform(asked.begin(), asked.end(), asked.begin(),
                 [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; });
  if (asked == "poster") return {groups, true};
  if (!asked.empty()) return {WithoutBlanks(followupTo), false};
  return {groups, false};
}

std::string NewsArticleFaultText(const NewsArticle& article) {
  switch (article.fault) {
    case NewsArticleFault::LineTooLong:
      return "The article was not sent: " + article.faultWhere + " is longer than " +
             std::to_string(kLongestArticleLine) + " characters. Break it into shorter lines.";
    case NewsArticleFault::SubjectMissing:
      return "The Subject field is required.";
    case NewsArticleFault::NewsgroupsMissing:
      return "The Newsgroups field is required.";
    case NewsArticleFault::BodyEmpty:
      return "The body of the message is empty.";
    case NewsArticleFault::None:
      break;
  }
  return "";
}

NewsArticle BuildNewsArticle(const NewsArticleFields& fields) {
  if (fields.subject.empty()) return {NewsArticleFault::SubjectMissing, {}, {}};
  if (fields.newsgroups.empty()) return {NewsArticleFault::NewsgroupsMissing, {}, {}};
  if (fields.body.empty()) return {NewsArticleFault::BodyEmpty, {}, {}};
  const bool followUp = fields.mode == NewsPostMode::FollowUp;
  std::string wire;
  // Header text that is not ASCII goes as UTF-8 encoded words.
  AddHeader(wire, "From: ", EncodedAddress(OneLine(fields.from)));
  AddHeader(
      wire, "Subject: ",
      EncodedHeaderValue(OneLine(followUp ? FollowUpSubject(fields.subject) : fields.subject)));
  AddHeader(wire, "Newsgroups: ", fields.newsgroups);
  if (followUp) AddOptionalHeader(wire, "References: ", fields.references);
  AddOptionalHeader(wire, "Reply-To: ", EncodedAddress(OneLine(fields.replyTo)));
  AddOptionalHeader(wire, "Followup-To: ", fields.followupTo);
  AddOptionalHeader(wire, "Distribution: ", fields.distribution);
  AddOptionalHeader(wire, "Keywords: ", EncodedHeaderValue(OneLine(fields.keywords)));
  AddOptionalHeader(wire, "Summary: ", EncodedHeaderValue(OneLine(fields.summary)));
  if (fields.mode == NewsPostMode::Cancel) AddHeader(wire, "Control: cancel ", fields.cancelId);
  AddOptionalHeader(wire, "Organization: ", EncodedHeaderValue(OneLine(fields.organization)));
  // A body that is not ASCII is the editor's UTF-8, sent as it is.
  if (HasNonAscii(fields.body)) {
    AddHeader(wire, "MIME-Version: ", "1.0");
    AddHeader(wire, "Content-Type: ", "text/plain; charset=UTF-8");
    AddHeader(wire, "Content-Transfer-Encoding: ", "8bit");
  }
  AddHeader(wire, "X-Newsreader: ", kVersionLine);
  wire.append("\r\n");
  wire.append(StuffedBody(fields.body));
  wire.append(kTerminator);
  if (std::string where = OverlongLine(wire); !where.empty()) {
    return {NewsArticleFault::LineTooLong, {}, std::move(where)};
  }
  return {NewsArticleFault::None, std::move(wire), {}};
}

std::string FollowUpSubject(std::string_view subject) {
  if (StartsWithReply(subject)) return std::string(subject);
  return std::string(kReplyPrefix) + std::string(subject);
}

std::string QuotedFollowUpBody(std::string_view from, std::string_view text) {
  std::string body = "\r\n\r\n" + Attribution(from) + " wrote:\r\n\r\n";
  // A final line end closes the last line; it opens no empty quoted one.
  if (text.ends_with("\r\n")) text.remove_suffix(2);
  body += '>';
  for (std::size_t i = 0; i < text.size(); ++i) {
    body += text[i];
    if (text[i] == '\n' && i > 0 && text[i - 1] == '\r') body += '>';
  }
  return body;
}

std::string CancelSubject(std::string_view messageId) { return "Cancel " + std::string(messageId); }

std::string CancelBody(std::string_view messageId) {
  return "\r\nArticle " + std::string(messageId) + " cancelled.\r\n\r\nReason:\r\n\tNONE GIVEN";
}

std::vector<std::string> NewsFromChoices(std::string_view fullName, std::string_view address) {
  const std::string name(fullName);
  const std::string mail(address);
  return {mail, mail + " (" + name + ")", name + " <" + mail + ">"};
}

std::vector<std::string> NewsReplyToChoices(std::string_view fullName, std::string_view address) {
  std::vector<std::string> choices{std::string()};
  for (std::string& choice : NewsFromChoices(fullName, address)) choices.push_back(choice);
  return choices;
}

std::string WithoutNameDelimiters(std::string_view name) {
  std::string kept;
  for (const char c : name) {
    if (kNameDelimiters.find(c) == std::string_view::npos) kept += c;
  }
  return kept;
}

}  // namespace netrove
