#include "base/netrc.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

namespace netrove {
namespace {

// Splits the text into tokens; a token in double quotes keeps its blanks
// and takes \" and \\ escapes. A "macdef" body (to the next blank line) is
// left out.
std::vector<std::string> Tokens(std::string_view text) {
  std::vector<std::string> tokens;
  std::size_t at = 0;
  auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
  while (at < text.size()) {
    while (at < text.size() && blank(text[at])) ++at;
    if (at >= text.size()) break;
    std::string token;
    if (text[at] == '"') {
      for (++at; at < text.size() && text[at] != '"'; ++at) {
        if (text[at] == '\\' && at + 1 < text.size()) ++at;
        token += text[at];
      }
      ++at;  // the closing quote
    } else {
      while (at < text.size() && !blank(text[at])) token += text[at++];
    }
    if (token == "macdef") {
      const std::size_t end = text.find("\n\n", at);
      at = end == std::string_view::npos ? text.size() : end + 2;
      continue;
    }
    tokens.push_back(std::move(token));
  }
  return tokens;
}

}  // namespace

std::optional<NetrcLogin> FindNetrcLogin(std::string_view text, std::string_view machine,
                                         std::string_view login) {
  const std::vector<std::string> tokens = Tokens(text);
  std::optional<NetrcLogin> fallback;
  std::size_t i = 0;
  while (i < tokens.size()) {
    const bool isDefault = tokens[i] == "default";
    if (!isDefault && tokens[i] != "machine") {
      ++i;
      continue;
    }
    const bool matches = isDefault || (i + 1 < tokens.size() && tokens[i + 1] == machine);
    i += isDefault ? 1 : 2;
    NetrcLogin entry;
    for (; i < tokens.size() && tokens[i] != "machine" && tokens[i] != "default"; i += 2) {
      if (i + 1 >= tokens.size()) break;
      if (tokens[i] == "login") entry.login = tokens[i + 1];
      if (tokens[i] == "password") entry.password = tokens[i + 1];
    }
    if (!matches || (!login.empty() && !entry.login.empty() && entry.login != login)) continue;
    if (isDefault) {
      if (!fallback) fallback = entry;
      continue;
    }
    return entry;
  }
  return fallback;
}

std::filesystem::path NetrcFile() {
  if (const char* netrc = std::getenv("NETRC"); netrc != nullptr && *netrc != '\0') return netrc;
  const char* home = std::getenv("HOME");
  return std::filesystem::path(home != nullptr ? home : "") / ".netrc";
}

NetrcLookup LookUpNetrc(const std::filesystem::path& file, std::string_view machine,
                        std::string_view login) {
  NetrcLookup lookup;
  struct stat status {};
  if (::stat(file.c_str(), &status) != 0) {
    if (errno != ENOENT) lookup.refusal = file.string() + ": " + std::strerror(errno);
    return lookup;
  }
  if ((status.st_mode & (S_IRWXG | S_IRWXO)) != 0) {
    lookup.refusal = file.string() +
                     " is readable or writable by others; it is not used. Make it "
                     "private: chmod 600 " +
                     file.string();
    return lookup;
  }
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    lookup.refusal = file.string() + ": " + std::strerror(errno);
    return lookup;
  }
  std::ostringstream text;
  text << in.rdbuf();
  lookup.found = FindNetrcLogin(text.str(), machine, login);
  return lookup;
}

}  // namespace netrove
