#include "news/mime_text.h"

#include <errno.h>
#include <iconv.h>

#include <algorithm>
#include <array>
#include <vector>

namespace netrove {
namespace {

constexpr std::string_view kEncodedStart = "=?";
constexpr std::string_view kEncodedEnd = "?=";
// A character set name as MIME writes it; anything else is not passed on
// to the converter.
constexpr std::size_t kCharsetLimit = 64;
// Octets of UTF-8 in one posted encoded word: "=?UTF-8?B?" + 60 + "?=" is
// within the 75 characters an encoded word may have.
constexpr std::size_t kWordOctets = 45;

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

std::string Lowered(std::string_view text) {
  std::string lowered(text);
  std::transform(lowered.begin(), lowered.end(), lowered.begin(), Lower);
  return lowered;
}

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool AllBlank(std::string_view text) { return std::all_of(text.begin(), text.end(), IsBlank); }

bool IsCharsetName(std::string_view name) {
  if (name.empty() || name.size() > kCharsetLimit) return false;
  return std::all_of(name.begin(), name.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '_' || c == '.' || c == ':' || c == '+';
  });
}

std::string DecodeQ(std::string_view text) {
  std::string octets;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '_') {
      octets += ' ';
    } else if (text[i] == '=' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
               HexValue(text[i + 2]) >= 0) {
      octets += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
      i += 2;
    } else {
      octets += text[i];
    }
  }
  return octets;
}

// One encoded word at the start of `text`: its decoded UTF-8 and its length;
// nothing when it is malformed or its character set cannot be converted.
struct DecodedWord {
  std::string text;
  std::size_t length = 0;
};
std::optional<DecodedWord> DecodeWordAt(std::string_view text) {
  const std::size_t charsetEnd = text.find('?', kEncodedStart.size());
  if (charsetEnd == std::string_view::npos || charsetEnd + 2 >= text.size() ||
      text[charsetEnd + 2] != '?') {
    return std::nullopt;
  }
  const std::size_t textStart = charsetEnd + 3;
  const std::size_t end = text.find(kEncodedEnd, textStart);
  if (end == std::string_view::npos) return std::nullopt;
  const std::string_view encoded = text.substr(textStart, end - textStart);
  if (std::any_of(encoded.begin(), encoded.end(), IsBlank)) return std::nullopt;
  std::string_view charset = text.substr(kEncodedStart.size(), charsetEnd - kEncodedStart.size());
  charset = charset.substr(0, charset.find('*'));  // a language after "*" (RFC 2231)
  const char encoding = Lower(text[charsetEnd + 1]);
  if (encoding != 'b' && encoding != 'q') return std::nullopt;
  const std::string octets = encoding == 'b' ? DecodeBase64(encoded) : DecodeQ(encoded);
  auto converted = ConvertToUtf8(octets, charset);
  if (!converted) return std::nullopt;
  std::replace_if(
      converted->begin(), converted->end(),
      [](char c) { return c == '\r' || c == '\n' || c == '\0'; }, ' ');
  return DecodedWord{std::move(*converted), end + kEncodedEnd.size()};
}

// The header lines with continuation lines joined to the line they
// continue, and each field's encoded words decoded.
std::string DecodedHeader(std::string_view header) {
  std::vector<std::string> fields;
  while (!header.empty()) {
    const std::size_t end = header.find("\r\n");
    const std::string_view line = header.substr(0, end);
    header.remove_prefix(end == std::string_view::npos ? header.size() : end + 2);
    if (!fields.empty() && !line.empty() && (line.front() == ' ' || line.front() == '\t')) {
      fields.back().append(line);
    } else {
      fields.emplace_back(line);
    }
  }
  std::string decoded;
  for (const std::string& field : fields) {
    const std::size_t colon = field.find(':');
    if (colon == std::string::npos) {
      decoded += field;
    } else {
      decoded.append(field, 0, colon + 1);
      decoded += DecodeEncodedWords(std::string_view(field).substr(colon + 1));
    }
    decoded += "\r\n";
  }
  return decoded;
}

// The value of a parameter ("charset") of a Content-Type value, unquoted.
std::string ParameterValue(std::string_view value, std::string_view name) {
  std::size_t at = value.find(';');
  while (at != std::string_view::npos) {
    std::string_view rest = Trimmed(value.substr(at + 1));
    const std::size_t equals = rest.find('=');
    const std::size_t next = rest.find(';');
    if (equals != std::string_view::npos && (next == std::string_view::npos || equals < next) &&
        Lowered(Trimmed(rest.substr(0, equals))) == name) {
      std::string_view found = Trimmed(rest.substr(equals + 1));
      if (!found.empty() && found.front() == '"') {
        found.remove_prefix(1);
        return std::string(found.substr(0, found.find('"')));
      }
      return std::string(Trimmed(found.substr(0, found.find_first_of("; \t"))));
    }
    const std::size_t skipped = value.size() - rest.size();
    at = next == std::string_view::npos ? next : skipped + next;
  }
  return {};
}

// The value of field `name` in an unfolded header; "" when there is none.
std::string FieldValue(std::string_view header, std::string_view name) {
  while (!header.empty()) {
    const std::size_t end = header.find("\r\n");
    const std::string_view line = header.substr(0, end);
    header.remove_prefix(end == std::string_view::npos ? header.size() : end + 2);
    const std::size_t colon = line.find(':');
    if (colon != std::string_view::npos && Lowered(line.substr(0, colon)) == name) {
      return std::string(Trimmed(line.substr(colon + 1)));
    }
  }
  return {};
}

std::string DecodedBody(std::string_view header, std::string_view body) {
  const std::string type = FieldValue(header, "content-type");
  const std::string mediaType = Lowered(Trimmed(std::string_view(type).substr(0, type.find(';'))));
  // Only text is shown decoded; other parts (images, multipart) stay as sent.
  if (!mediaType.empty() && mediaType.rfind("text/", 0) != 0) return std::string(body);
  const std::string transfer = Lowered(FieldValue(header, "content-transfer-encoding"));
  std::string decoded;
  if (transfer == "quoted-printable") {
    decoded = DecodeQuotedPrintable(body);
  } else if (transfer == "base64") {
    decoded = DecodeBase64(body);
  } else {
    decoded = body;
  }
  const std::string charset = ParameterValue(type, "charset");
  if (charset.empty()) return decoded;
  return ConvertToUtf8(decoded, charset).value_or(decoded);
}

// UTF-8 octets as encoded words, each whole characters only.
std::string EncodedWords(std::string_view utf8) {
  static constexpr std::string_view kAlphabet =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string words;
  while (!utf8.empty()) {
    std::size_t take = std::min(utf8.size(), kWordOctets);
    // Back off to the start of a character.
    while (take < utf8.size() && take > 1 &&
           (static_cast<unsigned char>(utf8[take]) & 0xC0) == 0x80) {
      --take;
    }
    if (!words.empty()) words += ' ';
    words += "=?UTF-8?B?";
    const std::string_view piece = utf8.substr(0, take);
    for (std::size_t i = 0; i < piece.size(); i += 3) {
      const auto byte = [&](std::size_t k) {
        return k < piece.size() ? static_cast<unsigned char>(piece[k]) : 0u;
      };
      const unsigned group = (byte(i) << 16) | (byte(i + 1) << 8) | byte(i + 2);
      words += kAlphabet[(group >> 18) & 63];
      words += kAlphabet[(group >> 12) & 63];
      words += i + 1 < piece.size() ? kAlphabet[(group >> 6) & 63] : '=';
      words += i + 2 < piece.size() ? kAlphabet[group & 63] : '=';
    }
    words += kEncodedEnd;
    utf8.remove_prefix(take);
  }
  return words;
}

}  // namespace

bool HasNonAscii(std::string_view text) {
  return std::any_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
}

std::string DecodeEncodedWords(std::string_view value) {
  std::string decoded;
  bool afterWord = false;
  while (!value.empty()) {
    const std::size_t start = value.find(kEncodedStart);
    const std::string_view before = value.substr(0, start);
    if (start == std::string_view::npos) {
      decoded += before;
      break;
    }
    const auto word = DecodeWordAt(value.substr(start));
    // Blanks between two encoded words are not part of the text.
    if (!(afterWord && word && AllBlank(before))) decoded += before;
    if (word) {
      decoded += word->text;
      value.remove_prefix(start + word->length);
    } else {
      decoded += kEncodedStart;
      value.remove_prefix(start + kEncodedStart.size());
    }
    afterWord = word.has_value();
  }
  return decoded;
}

std::string DecodeQuotedPrintable(std::string_view text) {
  std::string decoded;
  decoded.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '=') {
      decoded += text[i];
      continue;
    }
    if (i + 2 < text.size() && HexValue(text[i + 1]) >= 0 && HexValue(text[i + 2]) >= 0) {
      decoded += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
      i += 2;
      continue;
    }
    // A soft line break: "=", perhaps blanks, then the line end.
    std::size_t after = i + 1;
    while (after < text.size() && (text[after] == ' ' || text[after] == '\t')) ++after;
    if (after < text.size() && text[after] == '\r') ++after;
    if (after < text.size() && text[after] == '\n') {
      i = after;
      continue;
    }
    decoded += '=';
  }
  return decoded;
}

std::string DecodeBase64(std::string_view text) {
  std::string decoded;
  decoded.reserve(text.size() / 4 * 3);
  unsigned bits = 0;
  int count = 0;
  for (const char c : text) {
    int value = -1;
    if (c >= 'A' && c <= 'Z') {
      value = c - 'A';
    } else if (c >= 'a' && c <= 'z') {
      value = c - 'a' + 26;
    } else if (c >= '0' && c <= '9') {
      value = c - '0' + 52;
    } else if (c == '+') {
      value = 62;
    } else if (c == '/') {
      value = 63;
    } else if (c == '=') {
      break;
    }
    if (value < 0) continue;
    bits = ((bits << 6) | static_cast<unsigned>(value)) & 0xFFFFFFu;
    if (++count == 4) {
      decoded += static_cast<char>((bits >> 16) & 0xFF);
      decoded += static_cast<char>((bits >> 8) & 0xFF);
      decoded += static_cast<char>(bits & 0xFF);
      count = 0;
      bits = 0;
    }
  }
  if (count == 2) decoded += static_cast<char>((bits >> 4) & 0xFF);
  if (count == 3) {
    decoded += static_cast<char>((bits >> 10) & 0xFF);
    decoded += static_cast<char>((bits >> 2) & 0xFF);
  }
  return decoded;
}

std::optional<std::string> ConvertToUtf8(std::string_view text, std::string_view charset) {
  if (!IsCharsetName(charset)) return std::nullopt;
  const std::string from(charset);
  const iconv_t converter = iconv_open("UTF-8", from.c_str());
  if (converter == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
  std::string input(text);
  std::string output(text.size() * 2 + 16, '\0');
  char* in = input.data();
  std::size_t inLeft = input.size();
  std::size_t written = 0;
  bool ok = true;
  while (inLeft > 0) {
    char* out = output.data() + written;
    std::size_t outLeft = output.size() - written;
    const std::size_t result = iconv(converter, &in, &inLeft, &out, &outLeft);
    written = output.size() - outLeft;
    if (result != static_cast<std::size_t>(-1)) break;
    if (errno != E2BIG) {
      ok = false;
      break;
    }
    output.resize(output.size() * 2);
  }
  iconv_close(converter);
  if (!ok) return std::nullopt;
  output.resize(written);
  return output;
}

std::string ArticleForDisplay(std::string_view article, bool headerIncluded) {
  if (!headerIncluded) return std::string(article);
  const std::size_t blank = article.find("\r\n\r\n");
  const std::string_view header =
      article.substr(0, blank == std::string_view::npos ? article.size() : blank + 2);
  const std::string decodedHeader = DecodedHeader(header);
  if (blank == std::string_view::npos) return decodedHeader;
  return decodedHeader + "\r\n" + DecodedBody(decodedHeader, article.substr(blank + 4));
}

std::string EncodedHeaderValue(std::string_view value) {
  if (!HasNonAscii(value)) return std::string(value);
  // Words that are ASCII stay readable; each run of the others becomes
  // encoded words, the blanks inside the run encoded with it.
  std::vector<std::string_view> words;
  for (std::size_t at = 0;;) {
    const std::size_t blank = value.find(' ', at);
    words.push_back(value.substr(at, blank == std::string_view::npos ? blank : blank - at));
    if (blank == std::string_view::npos) break;
    at = blank + 1;
  }
  std::string encoded;
  for (std::size_t i = 0; i < words.size();) {
    if (i > 0) encoded += ' ';
    if (!HasNonAscii(words[i])) {
      encoded += words[i++];
      continue;
    }
    // Blanks between two such words belong to the run: between two encoded
    // words a reader drops them.
    std::size_t last = i;
    for (std::size_t next = i + 1; next < words.size(); ++next) {
      if (HasNonAscii(words[next])) {
        last = next;
      } else if (!words[next].empty()) {
        break;
      }
    }
    const std::size_t begin = static_cast<std::size_t>(words[i].data() - value.data());
    const std::size_t end =
        static_cast<std::size_t>(words[last].data() - value.data()) + words[last].size();
    encoded += EncodedWords(value.substr(begin, end - begin));
    i = last + 1;
  }
  return encoded;
}

}  // namespace netrove
