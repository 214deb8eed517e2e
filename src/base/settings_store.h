#pragma once
// The per-user settings store: the registry tree
//   HKEY_CURRENT_USER\Software\Corvane Inc.\Netrove\<Tool>
// kept in one REGEDIT4 text file under SettingsFolder(). Names of keys and
// values are compared without regard to case. A missing value means the
// reader keeps its default. Every write goes straight to the file
// (atomically, under an inter-process lock). The parsed file is kept while
// the file stays the same, so reading a value costs a look-up, not a parse.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/registry_file.h"

namespace netrove {

inline constexpr std::string_view kProgramKeyPath = "Software\\Corvane Inc.\\Netrove";
inline constexpr std::string_view kMakerKeyPath = "Software\\Corvane Inc.";

// The types the suite writes; a stored value may carry any other type number,
// which is kept as it is.
enum class RegType : std::uint32_t { Sz = kRegSz, Binary = kRegBinary, Dword = kRegDword };

// One REG_DWORD of a batch written in one go (a window placement).
struct DwordValue {
  std::string_view name;
  std::uint32_t value;
};

// One open tool key. Values are read from the snapshot taken when the key was
// opened; writes go to the file at once and into the snapshot.
class CToolKey {
 public:
  // Reads the raw bytes of a value into a 4-byte variable; the variable keeps
  // its default when the value is missing. Returns whether it was read. A
  // shorter value fills only its own bytes (a text read into a number gets
  // its first bytes).
  bool ReadDword(std::string_view valueName, std::uint32_t& value) const;
  bool ReadDword(std::string_view valueName, std::int32_t& value) const;
  // Reads a value's raw bytes into a text buffer of `capacity` bytes. A longer
  // value is cut and the buffer stays zero-terminated.
  bool ReadText(std::string_view valueName, char* buffer, std::size_t capacity) const;
  // Reads a text value up to its first zero byte.
  bool ReadText(std::string_view valueName, std::string& value) const;
  // Raw bytes of a value (any type); nothing when missing.
  std::optional<std::vector<std::uint8_t>> ReadRaw(std::string_view valueName) const;
  // The stored type of a value; nothing when missing.
  std::optional<RegType> ValueType(std::string_view valueName) const;

  // REG_DWORD: 4 bytes little-endian. REG_SZ: text + NUL. Returns false when
  // the store could not be written.
  bool WriteDword(std::string_view valueName, std::uint32_t value);
  bool WriteText(std::string_view valueName, std::string_view text);
  // A value of the text type holding raw bytes (some newsreader values).
  bool WriteRaw(std::string_view valueName, RegType type, const std::vector<std::uint8_t>& bytes);
  // Several REG_DWORD values in one update of the file.
  bool WriteDwords(const std::vector<DwordValue>& values);

  const std::string& path() const { return keyPath_; }

 private:
  friend std::optional<CToolKey> OpenToolKey(std::string_view, bool);
  friend std::optional<CToolKey> CreateToolKey(std::string_view);
  CToolKey(std::string keyPath, bool writable, RegistryKey snapshot);
  const RegistryValue* Find(std::string_view valueName) const;
  bool Write(std::vector<RegistryValue> values);

  std::string keyPath_;  // full path below HKEY_CURRENT_USER
  bool writable_ = false;
  RegistryKey snapshot_;  // the values as they were at opening, plus our own writes
};

// The key path of a tool: program key, a backslash and the tool's name. The
// posting window's "NNTPPost" is cut at its last "P" (giving "NNTP").
std::string ToolKeyPath(std::string_view toolName);
// Prefix of the placement value names: "posting" for "NNTPPost", else "".
std::string PlacementPrefix(std::string_view toolName);

// A name that can be a tool's key: not empty, no backslash (it would name a
// subkey), nothing a key path may not hold.
bool IsValidToolName(std::string_view toolName);

// Opens an existing tool key (no creation). Nothing when it does not exist,
// the name cannot be a key name, or the store cannot be read.
std::optional<CToolKey> OpenToolKey(std::string_view toolName, bool writeAccess);
// Creates the key and missing parents, or opens it. Nothing when the store
// cannot be written.
std::optional<CToolKey> CreateToolKey(std::string_view toolName);

// Deletes the maker's key with every subkey ("Delete from Registry...").
// True when no such key is left.
bool DeleteProgramKeys();

// Whole-store access for the command-line front end: the REGEDIT4 text;
// empty when the store cannot be read.
std::string ExportSettings();

// The store file: settings.reg in SettingsFolder().
std::filesystem::path SettingsFile();

// Told once when the store file turns out to be damaged: the file has been
// moved aside to `keptAs` and defaults are in force. (When it cannot be moved,
// `keptAs` is the store file itself, which is then never written over.) Runs
// on the thread that found the damage, with no store lock held; it must not
// use the store itself.
class IDamagedStoreObserver {
 public:
  virtual void StoreDamaged(const std::string& keptAs) = 0;

 protected:
  ~IDamagedStoreObserver() = default;
};

// The store is one file per user, so whoever shows its damage (the window
// program's box, a test's recorder) subscribes for as long as this object
// lives; the previous observer comes back when it ends. With none
// subscribed the damage is printed to stderr (the command-line front end).
// Destruction waits for a report in progress, so the observer may go with it.
class CDamagedStoreSubscription {
 public:
  explicit CDamagedStoreSubscription(IDamagedStoreObserver& observer);
  ~CDamagedStoreSubscription();
  CDamagedStoreSubscription(const CDamagedStoreSubscription&) = delete;
  CDamagedStoreSubscription& operator=(const CDamagedStoreSubscription&) = delete;

 private:
  IDamagedStoreObserver* previous_;
};

}  // namespace netrove
