#pragma once
// Where the hardware and software reports get their facts on Linux:
// sysconf for processors and page size, /proc/meminfo for memory, the mounted
// file systems of /proc/mounts for the drives, uname for the system's version.
// The parsers take the files' text so they can be checked with made-up input.
#include <string>
#include <string_view>
#include <vector>

#include "desktop/system_report.h"

namespace netrove {

struct MemoryFacts {
  std::uint64_t memoryLoad = 0;
  std::uint64_t totalPhysical = 0;
  std::uint64_t availablePhysical = 0;
  std::uint64_t totalVirtual = 0;
  std::uint64_t availableVirtual = 0;
};

// Physical memory is MemTotal, of which MemAvailable is available (kernels
// without MemAvailable: MemFree + Buffers + Cached); virtual memory adds the
// swap space. The load is the share in use, rounded to a whole percent.
MemoryFacts ParseMeminfo(std::string_view meminfo);

struct MountEntry {
  std::string device;
  std::string mountPoint;
  std::string fileSystem;
};

// The lines of /proc/mounts, with the octal escapes (\040 for a blank)
// decoded. Lines with fewer than three fields are skipped.
std::vector<MountEntry> ParseMounts(std::string_view text);

// A file system a user would recognise as a drive: the root, file systems on
// block devices and network shares, but none of the kernel's pseudo file
// systems, memory file systems, read-only package images, or mounts inside
// the system's own folders (/proc, /sys, /dev, /run apart from /run/media).
bool IsUserVisibleMount(const MountEntry& entry);
bool IsNetworkFileSystem(std::string_view fileSystem);

// What the drive list asks of a mounted volume beyond /proc/mounts.
class IVolumeProbe {
 public:
  virtual ~IVolumeProbe() = default;
  // False when the volume cannot be read; the report then shows the drive
  // line alone.
  virtual bool isReadable(const MountEntry& entry) const = 0;
  // The file system's label, empty when it has none.
  virtual std::string label(const MountEntry& entry) const = 0;
};

// The drives of the report: one per visible mount point (a later mount over
// the same point hides the earlier one), sorted by mount point.
std::vector<DriveFacts> SelectDrives(const std::vector<MountEntry>& mounts,
                                     const IVolumeProbe& probe);

// A label as udev spells it in /dev/disk/by-label ("My\x20Disk").
std::string DecodeUdevLabel(std::string_view name);

// Major, minor and build from a kernel release such as "6.1.0-18-amd64";
// missing numbers are 0.
void ParseKernelRelease(std::string_view release, SoftwareFacts& facts);

// PRETTY_NAME of an os-release file ("Debian GNU/Linux 12 (bookworm)"),
// unquoted and unescaped; empty when the file names none.
std::string ParseOsReleasePrettyName(std::string_view text);

MachineFacts ReadMachineFacts();
// The kernel's version from uname. The service-pack text, the nearest Linux
// has to one, is the distribution's pretty name from the first os-release
// file found (/etc/os-release, then /usr/lib/os-release), or the kernel's
// build string when none names the distribution.
SoftwareFacts ReadSoftwareFacts(const std::vector<std::string>& osReleaseFiles = {
                                    "/etc/os-release", "/usr/lib/os-release"});

}  // namespace netrove
