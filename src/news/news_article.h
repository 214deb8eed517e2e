#pragma once
// The articles the posting windows send: the header form and body turned
// into the exact wire form POST hands to the server, and the texts a new
// posting window starts with (follow-up subject and quotation, cancel
// text, the From and Reply-To choices).
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace netrove {

enum class NewsPostMode { Post = 0, Cancel = 1, FollowUp = 2 };

// The article a follow-up or cancel is about, as the article list keeps it.
struct NewsPostArticle {
  std::string subject;                    // its Subject value ("Re: " is added when missing)
  std::string from;                       // its From value, for the attribution
  std::string articleKey;                 // its References value, a blank and its Message-ID
  std::string messageId;                  // its own message-id (cancel)
  std::optional<std::string> quotedText;  // the text a quoting follow-up starts with
};

// What the header form and the body pane hold when Send is chosen.
struct NewsArticleFields {
  NewsPostMode mode = NewsPostMode::Post;
  std::string from;
  std::string subject;
  std::string newsgroups;
  std::string references;  // follow-up: the article key of the article answered
  std::string replyTo;
  std::string followupTo;
  std::string distribution;
  std::string keywords;
  std::string summary;
  std::string cancelId;  // cancel: the message-id cancelled
  std::string organization;
  std::string body;  // any line ends
};

// Why Send refused; the fields keep their contents.
enum class NewsArticleFault { None, SubjectMissing, NewsgroupsMissing, BodyEmpty, LineTooLong };

// The longest line an article may carry (RFC 5322: 998 octets before the
// line end); servers and readers cut or refuse longer ones.
inline constexpr std::size_t kLongestArticleLine = 998;

struct NewsArticle {
  NewsArticleFault fault = NewsArticleFault::None;
  std::string wire;        // From ... X-Newsreader, empty line, stuffed body, CR LF "." CR LF
  std::string faultWhere;  // LineTooLong: "line 3 of the body", "the Subject"
};

// The error box text of a fault ("" for None).
std::string NewsArticleFaultText(const NewsArticle& article);

// Builds the article in wire form. Header values never break their line: a
// CR or LF in one (a subject copied from a server) becomes a blank. The body
// is sent with CR LF line ends whatever the editor used, dot-stuffed.
NewsArticle BuildNewsArticle(const NewsArticleFields& fields);

// "Re: " in front, unless the subject already starts so (any case).
std::string FollowUpSubject(std::string_view subject);
// The body a quoting follow-up starts with: an empty line, "<who> wrote:",
// an empty line, then every line of `text` behind ">".
std::string QuotedFollowUpBody(std::string_view from, std::string_view text);

// Where a follow-up goes: the article's Followup-To, else its Newsgroups,
// else the group it was read in. "poster" asks for replies by mail: the
// groups are then the article's Newsgroups and `toPoster` says so.
struct FollowUpTarget {
  std::string newsgroups;
  bool toPoster = false;
};
FollowUpTarget FollowUpGroups(std::string_view newsgroups, std::string_view followupTo,
                              std::string_view readIn);

std::string CancelSubject(std::string_view messageId);
std::string CancelBody(std::string_view messageId);

// The From choices: the address; "address (name)"; "name <address>". The
// Reply-To choices: an empty entry, then the same three.
std::vector<std::string> NewsFromChoices(std::string_view fullName, std::string_view address);
std::vector<std::string> NewsReplyToChoices(std::string_view fullName, std::string_view address);

// The characters a full name may not hold, since the From forms delimit
// the name with them.
inline constexpr std::string_view kNameDelimiters = "()<>";
// `name` without those characters.
std::string WithoutNameDelimiters(std::string_view name);

}  // namespace netrove
