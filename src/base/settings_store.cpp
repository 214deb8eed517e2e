#include "base/settings_store.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <functional>
#include <iostream>
#include <memory>
#include <mutex>
#include <utility>

#include "base/user_paths.h"

namespace netrove {
namespace {

constexpr std::string_view kRootKey = "HKEY_CURRENT_USER";
constexpr std::string_view kTempPrefix = "settings.reg.tmp-";
constexpr std::string_view kPostingTemplate = "NNTPPost";

void PrintDamageReport(const std::string& keptAs) {
  std::cerr << "Netrove: the settings file could not be read. It is kept as " << keptAs
            << "; default settings are in use.\n";
}

// The subscribed observer; the mutex is held while it is told, so a
// subscription that ends waits for a report in progress.
std::mutex damageObserverMutex;
IDamagedStoreObserver* damageObserver = nullptr;
// A damaged file that cannot be moved aside stays where it is and is never
// written over; it is reported once per process.
std::atomic<bool> stuckDamageReported{false};

class UniqueFd {
 public:
  explicit UniqueFd(int fd) : fd_(fd) {}
  ~UniqueFd() {
    if (fd_ >= 0) ::close(fd_);
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  int release() { return std::exchange(fd_, -1); }

 private:
  int fd_;
};

std::string FullKeyPath(std::string_view belowRoot) {
  return std::string(kRootKey) + '\\' + std::string(belowRoot);
}

enum class ReadStatus { Ok, Missing, Failed };

// What tells one version of the store file from another: every write
// renames a new file into place, which changes the inode and the change
// time; an editor that rewrites the file in place changes its size or
// modification time.
struct FileIdentity {
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  std::int64_t modifiedNs = 0;
  std::int64_t changedNs = 0;
  bool operator==(const FileIdentity&) const = default;
};

FileIdentity IdentityOf(const struct stat& info) {
  const auto ns = [](const timespec& time) {
    return static_cast<std::int64_t>(time.tv_sec) * 1'000'000'000 + time.tv_nsec;
  };
  return {info.st_dev, info.st_ino, info.st_size, ns(info.st_mtim), ns(info.st_ctim)};
}

// The identity of the file at `file` now; nothing when it cannot be seen.
std::optional<FileIdentity> CurrentIdentity(const std::filesystem::path& file) {
  struct stat info {};
  if (::stat(file.c_str(), &info) != 0) return std::nullopt;
  return IdentityOf(info);
}

// Reads the file and the identity of what was read.
ReadStatus ReadWholeFile(const std::filesystem::path& file, std::string& text,
                         FileIdentity& identity) {
  UniqueFd fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.valid()) return errno == ENOENT ? ReadStatus::Missing : ReadStatus::Failed;
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0) return ReadStatus::Failed;
  identity = IdentityOf(info);
  text.clear();
  text.reserve(static_cast<std::size_t>(info.st_size));
  char chunk[65536];
  while (true) {
    const ssize_t count = ::read(fd.get(), chunk, sizeof chunk);
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) return ReadStatus::Failed;
    if (count == 0) return ReadStatus::Ok;
    text.append(chunk, static_cast<std::size_t>(count));
  }
}

// The tree of the store file as last read or written by this process, kept
// while the file is unchanged: a read is then a look-up, not a parse.
class ParsedStoreCache {
 public:
  std::shared_ptr<const RegistryFile> Find(const std::filesystem::path& file,
                                           const FileIdentity& identity) {
    std::lock_guard lock(mutex_);
    if (tree_ == nullptr || file != file_ || identity != identity_) return nullptr;
    return tree_;
  }
  void Keep(const std::filesystem::path& file, const FileIdentity& identity,
            std::shared_ptr<const RegistryFile> tree) {
    std::lock_guard lock(mutex_);
    file_ = file;
    identity_ = identity;
    tree_ = std::move(tree);
  }

 private:
  std::mutex mutex_;
  std::filesystem::path file_;
  FileIdentity identity_;
  std::shared_ptr<const RegistryFile> tree_;
};

ParsedStoreCache& StoreCache() {
  static ParsedStoreCache cache;
  return cache;
}

// The parsed file, from the cache when the file is unchanged. Nothing in
// `tree` (and ReadStatus::Ok) when the text cannot be parsed.
ReadStatus ReadParsed(const std::filesystem::path& file,
                      std::shared_ptr<const RegistryFile>& tree) {
  if (const auto identity = CurrentIdentity(file)) {
    if ((tree = StoreCache().Find(file, *identity))) return ReadStatus::Ok;
  }
  std::string text;
  FileIdentity identity;
  const auto status = ReadWholeFile(file, text, identity);
  if (status != ReadStatus::Ok) return status;
  auto parsed = RegistryFile::Parse(text);
  if (!parsed) return ReadStatus::Ok;
  tree = std::make_shared<const RegistryFile>(std::move(*parsed));
  StoreCache().Keep(file, identity, tree);
  return ReadStatus::Ok;
}

bool WriteAll(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t count = ::write(fd, text.data(), text.size());
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) return false;
    text.remove_prefix(static_cast<std::size_t>(count));
  }
  return true;
}

bool SyncFolder(const std::filesystem::path& folder) {
  UniqueFd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  return fd.valid() && ::fsync(fd.get()) == 0;
}

// Temporary files left by a writer killed before its rename. Called under the
// lock, when no other writer can be working on one.
void RemoveStaleTempFiles(const std::filesystem::path& folder) {
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
    if (entry.path().filename().string().starts_with(kTempPrefix)) {
      std::filesystem::remove(entry.path(), error);
    }
  }
}

// Readers see either the old file or the new one, never a part: the text goes
// to a temporary file that is synced before it is renamed over the store.
bool ReplaceAtomically(const std::filesystem::path& file, std::string_view text) {
  const auto folder = file.parent_path();
  std::string temp = (folder / (std::string(kTempPrefix) + "XXXXXX")).string();
  UniqueFd fd(::mkostemp(temp.data(), O_CLOEXEC));
  if (!fd.valid()) return false;
  const bool replaced = WriteAll(fd.get(), text) && ::fsync(fd.get()) == 0 &&
                        ::close(fd.release()) == 0 && ::rename(temp.c_str(), file.c_str()) == 0;
  if (!replaced) {
    ::unlink(temp.c_str());
    return false;
  }
  // The new file is in place either way; syncing the folder only makes the
  // rename itself survive a power loss.
  SyncFolder(folder);
  return true;
}

std::string DamagedFileName(const std::filesystem::path& file) {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
  const std::string base = file.string() + ".damaged-" + stamp;
  std::string name = base;
  std::error_code error;
  for (int n = 2; std::filesystem::exists(name, error); ++n) name = base + "-" + std::to_string(n);
  return name;
}

// The exclusive lock that serialises writers of all processes. flock locks
// belong to the open file description, so threads of one process exclude
// each other too, and a killed process releases its lock.
class StoreLock {
 public:
  explicit StoreLock(const std::filesystem::path& file)
      : fd_(::open((file.string() + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600)) {
    if (!fd_.valid()) return;
    int result;
    while ((result = ::flock(fd_.get(), LOCK_EX)) != 0 && errno == EINTR) {
    }
    locked_ = result == 0;
  }
  bool locked() const { return locked_; }

 private:
  UniqueFd fd_;
  bool locked_ = false;
};

// The tree found in the file, or nothing when the file cannot be used. The
// damage report is left to the caller, to be made once the lock is released
// (the shell's handler shows a box).
struct LoadedStore {
  std::optional<RegistryFile> tree;
  std::string damagedKeptAs;
};

// Under the lock: a damaged file is moved aside and the defaults take over.
LoadedStore LoadLocked(const std::filesystem::path& file) {
  std::shared_ptr<const RegistryFile> tree;
  const auto status = ReadParsed(file, tree);
  if (status == ReadStatus::Missing) return {RegistryFile{}, {}};
  if (status == ReadStatus::Failed) return {};
  if (tree != nullptr) return {*tree, {}};
  const std::string keptAs = DamagedFileName(file);
  if (::rename(file.c_str(), keptAs.c_str()) == 0) {
    SyncFolder(file.parent_path());
    return {RegistryFile{}, keptAs};
  }
  if (stuckDamageReported.exchange(true)) return {};
  return {std::nullopt, file.string()};
}

void ReportDamage(const std::string& keptAs) {
  if (keptAs.empty()) return;
  const std::lock_guard lock(damageObserverMutex);
  if (damageObserver != nullptr) {
    damageObserver->StoreDamaged(keptAs);
  } else {
    PrintDamageReport(keptAs);
  }
}

// Readers need no lock (the file is only ever replaced whole); they take it
// only to move a damaged file aside, after checking it is still damaged.
std::shared_ptr<const RegistryFile> LoadForReading() {
  const auto file = SettingsFile();
  std::shared_ptr<const RegistryFile> tree;
  const auto status = ReadParsed(file, tree);
  if (status == ReadStatus::Missing) return std::make_shared<const RegistryFile>();
  if (status == ReadStatus::Failed) return nullptr;
  if (tree != nullptr) return tree;
  LoadedStore loaded;
  {
    StoreLock lock(file);
    if (lock.locked()) {
      loaded = LoadLocked(file);
    } else if (!stuckDamageReported.exchange(true)) {
      loaded.damagedKeptAs = file.string();
    }
  }
  ReportDamage(loaded.damagedKeptAs);
  if (!loaded.tree) return nullptr;
  return std::make_shared<const RegistryFile>(std::move(*loaded.tree));
}

// Under the lock: writes the tree and keeps it as the parsed form of the
// file now in place.
bool ReplaceAndKeep(const std::filesystem::path& file, RegistryFile tree) {
  if (!ReplaceAtomically(file, tree.Format())) return false;
  if (const auto identity = CurrentIdentity(file)) {
    StoreCache().Keep(file, *identity, std::make_shared<const RegistryFile>(std::move(tree)));
  }
  return true;
}

// Writers: under the lock, read the current file, let `change` edit the tree
// and replace the file when `change` says it changed something.
bool UpdateStore(const std::function<bool(RegistryFile&)>& change) {
  const auto file = SettingsFile();
  if (!EnsureFolder(file.parent_path())) return false;
  LoadedStore loaded;
  bool stored = false;
  {
    StoreLock lock(file);
    if (!lock.locked()) return false;
    loaded = LoadLocked(file);
    if (loaded.tree) {
      RemoveStaleTempFiles(file.parent_path());
      stored = !change(*loaded.tree) || ReplaceAndKeep(file, std::move(*loaded.tree));
    }
  }
  ReportDamage(loaded.damagedKeptAs);
  return stored;
}

std::vector<std::uint8_t> DwordBytes(std::uint32_t value) {
  return {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
          static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)};
}

}  // namespace

bool IsValidToolName(std::string_view toolName) {
  return !toolName.empty() && toolName.find('\\') == std::string_view::npos &&
         IsValidKeyPath(FullKeyPath(ToolKeyPath(toolName)));
}

CToolKey::CToolKey(std::string keyPath, bool writable, RegistryKey snapshot)
    : keyPath_(std::move(keyPath)), writable_(writable), snapshot_(std::move(snapshot)) {}

const RegistryValue* CToolKey::Find(std::string_view valueName) const {
  return snapshot_.FindValue(valueName);
}

bool CToolKey::ReadDword(std::string_view valueName, std::uint32_t& value) const {
  const auto* stored = Find(valueName);
  if (stored == nullptr) return false;
  auto bytes = DwordBytes(value);
  std::copy_n(stored->bytes.begin(), std::min<std::size_t>(4, stored->bytes.size()), bytes.begin());
  value =
      bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) | (static_cast<std::uint32_t>(bytes[3]) << 24);
  return true;
}

bool CToolKey::ReadDword(std::string_view valueName, std::int32_t& value) const {
  auto bits = static_cast<std::uint32_t>(value);
  if (!ReadDword(valueName, bits)) return false;
  value = static_cast<std::int32_t>(bits);
  return true;
}

bool CToolKey::ReadText(std::string_view valueName, char* buffer, std::size_t capacity) const {
  const auto* stored = Find(valueName);
  if (stored == nullptr || buffer == nullptr || capacity == 0) return false;
  const std::size_t length = std::min(stored->bytes.size(), capacity - 1);
  std::memcpy(buffer, stored->bytes.data(), length);
  buffer[length] = '\0';
  return true;
}

bool CToolKey::ReadText(std::string_view valueName, std::string& value) const {
  const auto* stored = Find(valueName);
  if (stored == nullptr) return false;
  const auto end = std::find(stored->bytes.begin(), stored->bytes.end(), 0);
  value.assign(stored->bytes.begin(), end);
  return true;
}

std::optional<std::vector<std::uint8_t>> CToolKey::ReadRaw(std::string_view valueName) const {
  const auto* stored = Find(valueName);
  if (stored == nullptr) return std::nullopt;
  return stored->bytes;
}

std::optional<RegType> CToolKey::ValueType(std::string_view valueName) const {
  const auto* stored = Find(valueName);
  if (stored == nullptr) return std::nullopt;
  return static_cast<RegType>(stored->type);
}

bool CToolKey::WriteDword(std::string_view valueName, std::uint32_t value) {
  return Write({{std::string(valueName), kRegDword, DwordBytes(value)}});
}

bool CToolKey::WriteText(std::string_view valueName, std::string_view text) {
  std::vector<std::uint8_t> bytes(text.begin(), text.end());
  bytes.push_back(0);
  return Write({{std::string(valueName), kRegSz, std::move(bytes)}});
}

bool CToolKey::WriteRaw(std::string_view valueName, RegType type,
                        const std::vector<std::uint8_t>& bytes) {
  return Write({{std::string(valueName), static_cast<std::uint32_t>(type), bytes}});
}

bool CToolKey::WriteDwords(const std::vector<DwordValue>& values) {
  std::vector<RegistryValue> batch;
  for (const auto& [name, value] : values) {
    batch.push_back({std::string(name), kRegDword, DwordBytes(value)});
  }
  return Write(std::move(batch));
}

bool CToolKey::Write(std::vector<RegistryValue> values) {
  if (!writable_) return false;
  if (!std::ranges::all_of(values, [](const auto& v) { return IsValidValueName(v.name); })) {
    return false;
  }
  const std::string fullPath = FullKeyPath(keyPath_);
  const bool stored = UpdateStore([&](RegistryFile& tree) {
    auto& key = tree.CreateKey(fullPath);
    const RegistryKey before = key;
    for (const auto& value : values) key.SetValue(value);
    return key != before;
  });
  if (!stored) return false;
  for (auto& value : values) snapshot_.SetValue(std::move(value));
  return true;
}

std::string ToolKeyPath(std::string_view toolName) {
  std::string_view keyName = toolName;
  if (RegistryNamesEqual(toolName, kPostingTemplate)) {
    keyName = toolName.substr(0, toolName.find_last_of("Pp"));
  }
  return std::string(kProgramKeyPath) + '\\' + std::string(keyName);
}

std::string PlacementPrefix(std::string_view toolName) {
  return RegistryNamesEqual(toolName, kPostingTemplate) ? "posting" : "";
}

std::optional<CToolKey> OpenToolKey(std::string_view toolName, bool writeAccess) {
  if (!IsValidToolName(toolName)) return std::nullopt;
  std::string path = ToolKeyPath(toolName);
  const std::string fullPath = FullKeyPath(path);
  const auto tree = LoadForReading();
  if (tree == nullptr || !tree->KeyExists(fullPath)) return std::nullopt;
  const RegistryKey* key = tree->FindKey(fullPath);
  return CToolKey(std::move(path), writeAccess, key != nullptr ? *key : RegistryKey{fullPath, {}});
}

std::optional<CToolKey> CreateToolKey(std::string_view toolName) {
  if (!IsValidToolName(toolName)) return std::nullopt;
  std::string path = ToolKeyPath(toolName);
  const std::string fullPath = FullKeyPath(path);
  RegistryKey snapshot;
  const bool stored = UpdateStore([&](RegistryFile& tree) {
    const bool existed = tree.FindKey(fullPath) != nullptr;
    snapshot = tree.CreateKey(fullPath);
    return !existed;
  });
  if (!stored) return std::nullopt;
  return CToolKey(std::move(path), true, std::move(snapshot));
}

bool DeleteProgramKeys() {
  const std::string makerKey = FullKeyPath(kMakerKeyPath);
  return UpdateStore([&](RegistryFile& tree) { return tree.DeleteTree(makerKey); });
}

std::string ExportSettings() {
  const auto tree = LoadForReading();
  return tree != nullptr ? tree->Format() : std::string();
}

std::filesystem::path SettingsFile() { return SettingsFolder() / "settings.reg"; }

CDamagedStoreSubscription::CDamagedStoreSubscription(IDamagedStoreObserver& observer) {
  const std::lock_guard lock(damageObserverMutex);
  previous_ = std::exchange(damageObserver, &observer);
}

CDamagedStoreSubscription::~CDamagedStoreSubscription() {
  const std::lock_guard lock(damageObserverMutex);
  damageObserver = previous_;
}

}  // namespace netrove
