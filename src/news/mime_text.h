#pragma once
// MIME for reading and posting news: encoded words in header fields
// (RFC 2047), quoted-printable and base64 bodies, and the character sets
// Content-Type names, all turned into UTF-8 for display; and the encoded
// forms a posting uses for text that is not ASCII. The input is whatever a
// server sent: every decoder takes any bytes, and what it cannot decode
// (an unknown character set, a malformed word) is left as it was.
#include <optional>
#include <string>
#include <string_view>

namespace netrove {

// The encoded words of a header value decoded to UTF-8; a decoded CR, LF
// or NUL becomes a blank, so no value can add a line of its own.
std::string DecodeEncodedWords(std::string_view value);

// A quoted-printable text: "=XX" octets, soft line breaks removed; a "="
// followed by anything else stays as it is.
std::string DecodeQuotedPrintable(std::string_view text);

// A base64 text; characters outside the alphabet (line ends) are skipped,
// decoding stops at the first "=".
std::string DecodeBase64(std::string_view text);

// `text` in `charset` as UTF-8; nothing when the character set is unknown
// to the system or the text is not valid in it.
std::optional<std::string> ConvertToUtf8(std::string_view text, std::string_view charset);

// An article (header and body, or the body alone when `headerIncluded` is
// false) as the window shows it: header fields unfolded and decoded, the
// body of a text part decoded by its Content-Transfer-Encoding and
// converted from its charset. Line ends stay CR LF.
std::string ArticleForDisplay(std::string_view article, bool headerIncluded);

// An unstructured header value for posting: as it is when it is ASCII,
// else as UTF-8 encoded words (base64), each line within the limit.
std::string EncodedHeaderValue(std::string_view value);

// Whether `text` holds a byte outside ASCII.
bool HasNonAscii(std::string_view text);

}  // namespace netrove
