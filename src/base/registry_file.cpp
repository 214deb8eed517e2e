#include "base/registry_file.h"

#include <algorithm>
#include <charconv>

namespace netrove {
namespace {

constexpr std::string_view kHeader = "REGEDIT4";
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kHexDigits = "0123456789abcdef";
// Long hex lists are continued on the next line, as regedit does, so the file
// stays readable in an editor.
constexpr std::size_t kWrapColumn = 76;

char FoldCase(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string_view Trim(std::string_view text) {
  constexpr std::string_view kBlank = " \t\r";
  const auto first = text.find_first_not_of(kBlank);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(kBlank) - first + 1);
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && RegistryNamesEqual(text.substr(0, prefix.size()), prefix);
}

bool IsBelow(std::string_view path, std::string_view ancestor) {
  return path.size() > ancestor.size() && path[ancestor.size()] == '\\' &&
         RegistryNamesEqual(path.substr(0, ancestor.size()), ancestor);
}

bool HasLineBreakOrZero(std::string_view text) {
  return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

// Parses 1 to `maxDigits` hex digits making up all of `text`.
std::optional<std::uint32_t> ParseHex(std::string_view text, std::size_t maxDigits) {
  if (text.empty() || text.size() > maxDigits) return std::nullopt;
  std::uint32_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

// Reads a quoted name or text starting at text[pos] == '"'. Only \\ and \"
// are escapes; any other backslash stands for itself, as hand-edited paths
// often have them.
bool ReadQuoted(std::string_view text, std::size_t& pos, std::string& out) {
  ++pos;
  while (pos < text.size()) {
    const char c = text[pos];
    if (c == '\\' && pos + 1 < text.size() && (text[pos + 1] == '\\' || text[pos + 1] == '"')) {
      out += text[pos + 1];
      pos += 2;
    } else if (c == '"') {
      ++pos;
      return true;
    } else {
      out += c;
      ++pos;
    }
  }
  return false;
}

std::string Quote(std::string_view text) {
  std::string out = "\"";
  for (const char c : text) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  out += '"';
  return out;
}

// A text value that can be shown as "text": its bytes are one line of text
// followed by exactly one zero byte.
bool IsPlainText(const RegistryValue& value) {
  if (value.type != kRegSz || value.bytes.empty() || value.bytes.back() != 0) return false;
  const std::string_view body(reinterpret_cast<const char*>(value.bytes.data()),
                              value.bytes.size() - 1);
  return !HasLineBreakOrZero(body);
}

std::string HexDigits(std::uint32_t value, int width) {
  std::string out;
  do {
    out.insert(out.begin(), kHexDigits[value & 0xF]);
    value >>= 4;
  } while (value != 0 || static_cast<int>(out.size()) < width);
  return out;
}

std::string FormatHexData(const RegistryValue& value, std::size_t column) {
  std::string out = value.type == kRegBinary ? "hex:" : "hex(" + HexDigits(value.type, 1) + "):";
  column += out.size();
  for (std::size_t i = 0; i < value.bytes.size(); ++i) {
    out += kHexDigits[value.bytes[i] >> 4];
    out += kHexDigits[value.bytes[i] & 0xF];
    column += 2;
    if (i + 1 == value.bytes.size()) break;
    out += ',';
    ++column;
    if (column >= kWrapColumn) {
      out += "\\\n  ";
      column = 2;
    }
  }
  return out;
}

std::string FormatValue(const RegistryValue& value) {
  std::string line = value.name.empty() ? "@=" : Quote(value.name) + "=";
  if (value.type == kRegDword && value.bytes.size() == 4) {
    const std::uint32_t number = value.bytes[0] | (value.bytes[1] << 8) | (value.bytes[2] << 16) |
                                 (static_cast<std::uint32_t>(value.bytes[3]) << 24);
    return line + "dword:" + HexDigits(number, 8);
  }
  if (IsPlainText(value)) {
    return line + Quote(std::string_view(reinterpret_cast<const char*>(value.bytes.data()),
                                         value.bytes.size() - 1));
  }
  return line + FormatHexData(value, line.size());
}

// Where each value of each key sits in the key's list, so that a value
// named again replaces the first one without a search through the key.
class ValuePlaces {
 public:
  void Set(const RegistryFile& file, RegistryKey& key, RegistryValue value) {
    std::string id = std::to_string(&key - file.keys().data());
    id += '\0';
    id += FoldedRegistryName(value.name);
    const auto [place, added] = positions_.try_emplace(std::move(id), key.values.size());
    if (added) {
      key.values.push_back(std::move(value));
      return;
    }
    RegistryValue& existing = key.values[place->second];
    existing.type = value.type;
    existing.bytes = std::move(value.bytes);
  }

 private:
  std::unordered_map<std::string, std::size_t> positions_;
};

class Parser {
 public:
  explicit Parser(std::string_view text) : text_(text) {}

  std::optional<RegistryFile> Run(std::string* error) {
    if (text_.starts_with(kUtf8Bom)) text_.remove_prefix(kUtf8Bom.size());
    RegistryFile file;
    if (text_.find_first_not_of(" \t\r\n") == std::string_view::npos) return file;
    std::string_view line;
    if (!NextLine(line) || line != kHeader) return Fail(error, "the first line is not REGEDIT4");
    RegistryKey* key = nullptr;
    ValuePlaces places;
    while (NextLine(line)) {
      if (line.empty() || line.front() == ';') continue;
      if (line.front() == '[') {
        if (line.size() < 2 || line.back() != ']') return Fail(error, "unfinished key name");
        const std::string_view path = line.substr(1, line.size() - 2);
        if (!IsValidKeyPath(path)) return Fail(error, "invalid key name");
        key = &file.CreateKey(path);
        continue;
      }
      if (key == nullptr) return Fail(error, "a value outside any key");
      RegistryValue value;
      if (!ParseValue(line, value)) return Fail(error, "a value that cannot be read");
      places.Set(file, *key, std::move(value));
    }
    return file;
  }

 private:
  // The next line without its line break and surrounding blanks.
  bool NextLine(std::string_view& line) {
    if (offset_ >= text_.size()) return false;
    auto end = text_.find('\n', offset_);
    if (end == std::string_view::npos) end = text_.size();
    line = Trim(text_.substr(offset_, end - offset_));
    offset_ = end + 1;
    ++lineNumber_;
    return true;
  }

  std::nullopt_t Fail(std::string* error, std::string_view reason) const {
    if (error != nullptr)
      *error = "line " + std::to_string(lineNumber_) + ": " + std::string(reason);
    return std::nullopt;
  }

  bool ParseValue(std::string_view line, RegistryValue& value) {
    std::size_t pos = 0;
    if (line.front() == '@') {
      pos = 1;
    } else if (line.front() != '"' || !ReadQuoted(line, pos, value.name) || value.name.empty() ||
               !IsValidValueName(value.name)) {
      return false;
    }
    const std::string_view rest = Trim(line.substr(pos));
    if (rest.empty() || rest.front() != '=') return false;
    return ParseData(Trim(rest.substr(1)), value);
  }

  bool ParseData(std::string_view data, RegistryValue& value) {
    if (data.starts_with('"')) {
      std::string text;
      std::size_t pos = 0;
      if (!ReadQuoted(data, pos, text) || pos != data.size()) return false;
      value.type = kRegSz;
      value.bytes.assign(text.begin(), text.end());
      value.bytes.push_back(0);
      return true;
    }
    if (StartsWithNoCase(data, "dword:")) {
      const auto number = ParseHex(data.substr(6), 8);
      if (!number) return false;
      value.type = kRegDword;
      value.bytes = {static_cast<std::uint8_t>(*number), static_cast<std::uint8_t>(*number >> 8),
                     static_cast<std::uint8_t>(*number >> 16),
                     static_cast<std::uint8_t>(*number >> 24)};
      return true;
    }
    if (StartsWithNoCase(data, "hex:")) {
      value.type = kRegBinary;
      return ParseHexList(data.substr(4), value.bytes);
    }
    if (StartsWithNoCase(data, "hex(")) {
      const auto close = data.find("):");
      if (close == std::string_view::npos) return false;
      const auto type = ParseHex(data.substr(4, close - 4), 8);
      if (!type) return false;
      value.type = *type;
      return ParseHexList(data.substr(close + 2), value.bytes);
    }
    return false;
  }

  // Comma-separated bytes; a trailing backslash continues the list on the
  // next line.
  bool ParseHexList(std::string_view first, std::vector<std::uint8_t>& bytes) {
    std::string list(Trim(first));
    while (!list.empty() && list.back() == '\\') {
      list.pop_back();
      std::string_view next;
      if (!NextLine(next)) return false;
      list += next;
    }
    if (Trim(list).empty()) return true;
    std::string_view rest = list;
    while (true) {
      const auto comma = rest.find(',');
      const auto byte = ParseHex(Trim(rest.substr(0, comma)), 2);
      if (!byte) return false;
      bytes.push_back(static_cast<std::uint8_t>(*byte));
      if (comma == std::string_view::npos) return true;
      rest.remove_prefix(comma + 1);
    }
  }

  std::string_view text_;
  std::size_t offset_ = 0;
  std::size_t lineNumber_ = 0;
};

}  // namespace

std::string FoldedRegistryName(std::string_view name) {
  std::string folded(name);
  for (char& c : folded) c = FoldCase(c);
  return folded;
}

bool RegistryNamesEqual(std::string_view a, std::string_view b) {
  return std::ranges::equal(a, b, [](char x, char y) { return FoldCase(x) == FoldCase(y); });
}

bool IsValidValueName(std::string_view name) { return !HasLineBreakOrZero(name); }

bool IsValidKeyPath(std::string_view path) {
  // A leading "-" would read back as an instruction to delete the key.
  if (path.empty() || path.front() == '-' || HasLineBreakOrZero(path)) return false;
  return path.front() != '\\' && path.back() != '\\' && path.find("\\\\") == std::string_view::npos;
}

const RegistryValue* RegistryKey::FindValue(std::string_view name) const {
  const auto it = std::ranges::find_if(
      values, [&](const RegistryValue& value) { return RegistryNamesEqual(value.name, name); });
  return it == values.end() ? nullptr : &*it;
}

void RegistryKey::SetValue(RegistryValue value) {
  if (auto* existing = const_cast<RegistryValue*>(FindValue(value.name))) {
    existing->type = value.type;
    existing->bytes = std::move(value.bytes);
  } else {
    values.push_back(std::move(value));
  }
}

std::optional<RegistryFile> RegistryFile::Parse(std::string_view text, std::string* error) {
  return Parser(text).Run(error);
}

std::string RegistryFile::Format() const {
  std::string out(kHeader);
  out += '\n';
  for (const auto& key : keys_) {
    out += "\n[" + key.path + "]\n";
    for (const auto& value : key.values) out += FormatValue(value) + '\n';
  }
  return out;
}

bool RegistryFile::KeyExists(std::string_view path) const {
  if (FindKey(path) != nullptr) return true;
  return std::ranges::any_of(keys_, [&](const RegistryKey& key) {
    return RegistryNamesEqual(key.path, path) || IsBelow(key.path, path);
  });
}

const RegistryKey* RegistryFile::FindKey(std::string_view path) const {
  const auto it = index_.find(FoldedRegistryName(path));
  return it == index_.end() ? nullptr : &keys_[it->second];
}

RegistryKey& RegistryFile::CreateKey(std::string_view path) {
  const auto [place, added] = index_.try_emplace(FoldedRegistryName(path), keys_.size());
  if (!added) return keys_[place->second];
  return keys_.emplace_back(RegistryKey{std::string(path), {}});
}

bool RegistryFile::DeleteTree(std::string_view path) {
  const bool deleted = std::erase_if(keys_, [&](const RegistryKey& key) {
                         return RegistryNamesEqual(key.path, path) || IsBelow(key.path, path);
                       }) > 0;
  if (deleted) RebuildIndex();
  return deleted;
}

void RegistryFile::RebuildIndex() {
  index_.clear();
  for (std::size_t i = 0; i < keys_.size(); ++i)
    index_.emplace(FoldedRegistryName(keys_[i].path), i);
}

}  // namespace netrove
