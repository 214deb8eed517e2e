#include "desktop/system_facts.h"

#include <sys/statvfs.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

namespace netrove {
namespace {

constexpr std::uint64_t kBytesPerKilobyte = 1024;

std::string ReadWholeFile(const char* path) {
  std::ifstream in(path);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Splits at '\n', leaving out the line breaks.
std::vector<std::string_view> Lines(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    const auto end = text.find('\n');
    lines.push_back(text.substr(0, end));
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return lines;
}

std::vector<std::string_view> Fields(std::string_view line) {
  std::vector<std::string_view> fields;
  std::size_t pos = 0;
  while (true) {
    pos = line.find_first_not_of(" \t", pos);
    if (pos == std::string_view::npos) break;
    const auto end = line.find_first_of(" \t", pos);
    fields.push_back(line.substr(pos, end == std::string_view::npos ? end : end - pos));
    if (end == std::string_view::npos) break;
    pos = end;
  }
  return fields;
}

bool IsOctalDigit(char c) { return c >= '0' && c <= '7'; }

// /proc/mounts writes blank, tab, line feed and backslash as \ooo.
std::string DecodeMountField(std::string_view field) {
  std::string decoded;
  for (std::size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size() && IsOctalDigit(field[i + 1]) &&
        IsOctalDigit(field[i + 2]) && IsOctalDigit(field[i + 3])) {
      decoded += static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 +
                                   (field[i + 3] - '0'));
      i += 3;
    } else {
      decoded += field[i];
    }
  }
  return decoded;
}

bool IsPathUnder(std::string_view path, std::string_view folder) {
  return path == folder ||
         (path.starts_with(folder) && path.size() > folder.size() && path[folder.size()] == '/');
}

// Folders where the system, not the user, mounts things.
bool IsInSystemFolder(std::string_view mountPoint) {
  if (IsPathUnder(mountPoint, "/run/media")) return false;
  static constexpr std::array<std::string_view, 9> kSystemFolders = {"/proc",
                                                                     "/sys",
                                                                     "/dev",
                                                                     "/run",
                                                                     "/snap",
                                                                     "/etc",
                                                                     "/usr/lib",
                                                                     "/var/lib/docker",
                                                                     "/var/lib/containers"};
  return std::any_of(kSystemFolders.begin(), kSystemFolders.end(),
                     [&](std::string_view folder) { return IsPathUnder(mountPoint, folder); });
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads the file-system labels udev publishes as links in /dev/disk/by-label,
// keyed by the canonical path of the device they point to.
class LinuxVolumeProbe : public IVolumeProbe {
 public:
  LinuxVolumeProbe() {
    namespace fs = std::filesystem;
    std::error_code error;
    for (fs::directory_iterator it("/dev/disk/by-label", error), end; !error && it != end;
         it.increment(error)) {
      const fs::path device = fs::canonical(it->path(), error);
      if (!error) labels_[device.string()] = DecodeUdevLabel(it->path().filename().string());
      error.clear();
    }
  }

  // A network share is not asked: a server that has gone away would block
  // the call, and the report runs on the user-interface thread.
  bool isReadable(const MountEntry& entry) const override {
    if (IsNetworkFileSystem(entry.fileSystem)) return true;
    struct statvfs info {};
    return statvfs(entry.mountPoint.c_str(), &info) == 0;
  }

  std::string label(const MountEntry& entry) const override {
    if (!entry.device.starts_with("/dev/")) return {};
    std::error_code error;
    const auto device = std::filesystem::canonical(entry.device, error);
    if (error) return {};
    const auto found = labels_.find(device.string());
    return found == labels_.end() ? std::string() : found->second;
  }

 private:
  std::map<std::string, std::string> labels_;
};

}  // namespace

MemoryFacts ParseMeminfo(std::string_view meminfo) {
  std::map<std::string_view, std::uint64_t> kilobytes;
  for (const auto line : Lines(meminfo)) {
    const auto colon = line.find(':');
    if (colon == std::string_view::npos) continue;
    const auto fields = Fields(line.substr(colon + 1));
    if (fields.empty()) continue;
    std::uint64_t value = 0;
    const auto [end, error] =
        std::from_chars(fields[0].data(), fields[0].data() + fields[0].size(), value);
    if (error == std::errc()) kilobytes[line.substr(0, colon)] = value;
  }
  const auto value = [&](std::string_view key) {
    const auto found = kilobytes.find(key);
    return found == kilobytes.end() ? std::uint64_t{0} : found->second;
  };
  const std::uint64_t total = value("MemTotal");
  std::uint64_t available = kilobytes.contains("MemAvailable")
                                ? value("MemAvailable")
                                : value("MemFree") + value("Buffers") + value("Cached");
  available = std::min(available, total);
  MemoryFacts facts;
  if (total > 0) facts.memoryLoad = ((total - available) * 100 + total / 2) / total;
  facts.totalPhysical = total * kBytesPerKilobyte;
  facts.availablePhysical = available * kBytesPerKilobyte;
  facts.totalVirtual = (total + value("SwapTotal")) * kBytesPerKilobyte;
  facts.availableVirtual = (available + value("SwapFree")) * kBytesPerKilobyte;
  return facts;
}

std::vector<MountEntry> ParseMounts(std::string_view text) {
  std::vector<MountEntry> entries;
  for (const auto line : Lines(text)) {
    const auto fields = Fields(line);
    if (fields.size() < 3) continue;
    entries.push_back(
        {DecodeMountField(fields[0]), DecodeMountField(fields[1]), DecodeMountField(fields[2])});
  }
  return entries;
}

bool IsNetworkFileSystem(std::string_view fileSystem) {
  static constexpr std::array<std::string_view, 11> kNetworkFileSystems = {
      "nfs", "nfs4",     "cifs",  "smb3",      "smbfs", "fuse.sshfs",
      "9p",  "virtiofs", "drvfs", "glusterfs", "ceph"};
  return std::find(kNetworkFileSystems.begin(), kNetworkFileSystems.end(), fileSystem) !=
         kNetworkFileSystems.end();
}

bool IsUserVisibleMount(const MountEntry& entry) {
  if (entry.mountPoint == "/") return true;
  if (!entry.mountPoint.starts_with('/') || IsInSystemFolder(entry.mountPoint)) return false;
  // Snap and live-system images: read-only packages, not the user's drives.
  if (entry.fileSystem == "squashfs") return false;
  if (IsNetworkFileSystem(entry.fileSystem)) return true;
  return entry.device.starts_with("/dev/");
}

std::vector<DriveFacts> SelectDrives(const std::vector<MountEntry>& mounts,
                                     const IVolumeProbe& probe) {
  std::map<std::string, const MountEntry*> byMountPoint;
  for (const auto& entry : mounts) {
    if (IsUserVisibleMount(entry)) byMountPoint[entry.mountPoint] = &entry;
  }
  std::vector<DriveFacts> drives;
  for (const auto& [mountPoint, entry] : byMountPoint) {
    DriveFacts drive;
    drive.name = mountPoint;
    drive.volumeReadable = probe.isReadable(*entry);
    if (drive.volumeReadable) {
      drive.volumeName = probe.label(*entry);
      drive.fileSystem = entry->fileSystem;
    }
    drives.push_back(std::move(drive));
  }
  return drives;
}

std::string DecodeUdevLabel(std::string_view name) {
  std::string decoded;
  for (std::size_t i = 0; i < name.size(); ++i) {
    if (name[i] == '\\' && i + 3 < name.size() && name[i + 1] == 'x' &&
        HexValue(name[i + 2]) >= 0 && HexValue(name[i + 3]) >= 0) {
      decoded += static_cast<char>(HexValue(name[i + 2]) * 16 + HexValue(name[i + 3]));
      i += 3;
    } else {
      decoded += name[i];
    }
  }
  return decoded;
}

void ParseKernelRelease(std::string_view release, SoftwareFacts& facts) {
  std::array<long, 3> numbers{};
  const char* position = release.data();
  const char* const end = release.data() + release.size();
  for (std::size_t i = 0; i < numbers.size(); ++i) {
    const auto [next, error] = std::from_chars(position, end, numbers[i]);
    if (error != std::errc()) break;
    position = next;
    if (position == end || *position != '.') break;
    ++position;
  }
  facts.majorVersion = numbers[0];
  facts.minorVersion = numbers[1];
  facts.buildNumber = static_cast<int>(numbers[2] & 0xFFFF);
}

MachineFacts ReadMachineFacts() {
  MachineFacts facts;
  facts.processors = static_cast<std::uint64_t>(std::max(1L, sysconf(_SC_NPROCESSORS_ONLN)));
  facts.pageSize = static_cast<std::uint64_t>(std::max(0L, sysconf(_SC_PAGESIZE)));
  const MemoryFacts memory = ParseMeminfo(ReadWholeFile("/proc/meminfo"));
  facts.memoryLoad = memory.memoryLoad;
  facts.totalPhysical = memory.totalPhysical;
  facts.availablePhysical = memory.availablePhysical;
  facts.totalVirtual = memory.totalVirtual;
  facts.availableVirtual = memory.availableVirtual;
  facts.drives = SelectDrives(ParseMounts(ReadWholeFile("/proc/mounts")), LinuxVolumeProbe());
  return facts;
}

std::string ParseOsReleasePrettyName(std::string_view text) {
  constexpr std::string_view kKey = "PRETTY_NAME=";
  std::string name;
  for (std::string_view line : Lines(text)) {
    if (!line.starts_with(kKey)) continue;
    std::string_view value = line.substr(kKey.size());
    while (!value.empty() && (value.back() == ' ' || value.back() == '\r')) value.remove_suffix(1);
    const char quote = value.empty() ? '\0' : value.front();
    if ((quote == '"' || quote == '\'') && value.size() >= 2 && value.back() == quote) {
      value = value.substr(1, value.size() - 2);
    }
    name.clear();
    for (std::size_t i = 0; i < value.size(); ++i) {
      // Inside double quotes a backslash escapes $ " \ and `, as in a shell.
      if (quote == '"' && value[i] == '\\' && i + 1 < value.size()) ++i;
      name += value[i];
    }
  }
  return name;
}

SoftwareFacts ReadSoftwareFacts(const std::vector<std::string>& osReleaseFiles) {
  SoftwareFacts facts;
  struct utsname names {};
  if (uname(&names) != 0) return facts;
  facts.systemName = names.sysname;
  ParseKernelRelease(names.release, facts);
  facts.servicePack = names.version;
  for (const std::string& file : osReleaseFiles) {
    if (access(file.c_str(), R_OK) != 0) continue;
    const std::string prettyName = ParseOsReleasePrettyName(ReadWholeFile(file.c_str()));
    if (!prettyName.empty()) facts.servicePack = prettyName;
    break;
  }
  return facts;
}

}  // namespace netrove
