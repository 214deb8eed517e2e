#pragma once
// A registry tree held as REGEDIT4 text: sections naming keys, lines naming
// typed values with their raw bytes. Parsing never trusts the text: anything
// it cannot account for makes the whole text unreadable, so a damaged file is
// never mistaken for an emptier one.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace netrove {

inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegExpandSz = 2;
inline constexpr std::uint32_t kRegBinary = 3;
inline constexpr std::uint32_t kRegDword = 4;

struct RegistryValue {
  std::string name;  // empty for the key's default value ("@")
  std::uint32_t type = kRegBinary;
  std::vector<std::uint8_t> bytes;
  bool operator==(const RegistryValue&) const = default;
};

struct RegistryKey {
  std::string path;  // full path, e.g. HKEY_CURRENT_USER\Software\...
  std::vector<RegistryValue> values;
  bool operator==(const RegistryKey&) const = default;

  const RegistryValue* FindValue(std::string_view name) const;
  // Replaces the bytes and type of a value with the same name (keeping the
  // spelling it was first written with) or adds it.
  void SetValue(RegistryValue value);
};

// Registry names compare without regard to (ASCII) case.
bool RegistryNamesEqual(std::string_view a, std::string_view b);
// True for a usable key path or value name: no line breaks or zero bytes, and
// for key paths no empty component.
bool IsValidValueName(std::string_view name);
bool IsValidKeyPath(std::string_view path);

class RegistryFile {
 public:
  // Nothing when the text is not REGEDIT4 or has a line that cannot be read;
  // `error` then says which line and why. An empty text is an empty tree.
  static std::optional<RegistryFile> Parse(std::string_view text, std::string* error = nullptr);
  std::string Format() const;

  // A key exists when it has a section of its own or a subkey has one.
  bool KeyExists(std::string_view path) const;
  const RegistryKey* FindKey(std::string_view path) const;
  // The key's section, added at the end when missing.
  RegistryKey& CreateKey(std::string_view path);
  // Removes the key and every subkey; false when there was none.
  bool DeleteTree(std::string_view path);

  const std::vector<RegistryKey>& keys() const { return keys_; }
  bool operator==(const RegistryFile& other) const { return keys_ == other.keys_; }

 private:
  void RebuildIndex();

  std::vector<RegistryKey> keys_;
  // Position in keys_ of each path, case folded: finding a key costs the
  // same for a file of ten keys as for one of forty thousand.
  std::unordered_map<std::string, std::size_t> index_;
};

// A registry name with its ASCII letters in lower case: the form in which
// names equal without regard to case are equal.
std::string FoldedRegistryName(std::string_view name);

}  // namespace netrove
