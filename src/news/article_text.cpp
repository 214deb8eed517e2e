#include "news/article_text.h"

#include <cctype>

#include "base/text_lines.h"

namespace netrove {
namespace {

bool SameLetters(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
    text.remove_suffix(1);
  }
  return text;
}

}  // namespace

std::optional<std::string> HeaderValue(std::string_view block, std::string_view name) {
  while (!block.empty()) {
    const std::size_t lf = block.find('\n');
    const std::string_view line = block.substr(0, lf);
    block.remove_prefix(lf == std::string_view::npos ? block.size() : lf + 1);
    if (line.empty() || line == "\r") break;  // the body begins
    const std::size_t colon = line.find(':');
    if (colon != std::string_view::npos && SameLetters(line.substr(0, colon), name)) {
      return std::string(Trimmed(line.substr(colon + 1)));
    }
  }
  return std::nullopt;
}

std::string Attribution(std::string_view from) {
  const std::size_t open = from.find('(');
  const std::size_t close = from.rfind(')');
  if (open != std::string_view::npos && close != std::string_view::npos && close > open + 1) {
    return std::string(Trimmed(from.substr(open + 1, close - open - 1)));
  }
  const std::size_t angle = from.find('<');
  if (angle != std::string_view::npos) {
    std::string_view name = Trimmed(from.substr(0, angle));
    if (name.size() >= 2 && name.front() == '"' && name.back() == '"') {
      name = name.substr(1, name.size() - 2);
    }
    if (!name.empty()) return std::string(name);
  }
  return std::string(Trimmed(from));
}

std::string ArticleWireForm(std::string_view headers, std::string_view body) {
  std::string wire;
  wire.reserve(headers.size() + body.size() + body.size() / 32 + 8);
  const auto addLines = [&wire](std::string_view text) {
    while (!text.empty()) {
      const std::string_view line = TakeLine(text);
      if (!line.empty() && line.front() == '.') wire += '.';
      wire.append(line);
      wire += "\r\n";
    }
  };
  addLines(headers);
  wire += "\r\n";
  addLines(body);
  wire += ".\r\n";
  return wire;
}

}  // namespace netrove
