#pragma once
// The hardware and software reports of the Tools menu: plain texts about the
// local machine that the main window shows in an information box. The facts
// come in through plain structures, so the texts are built the same way from
// this machine (system_facts.h) and from made-up facts in tests.
#include <cstdint>
#include <string>
#include <vector>

#include "base/grouped_number.h"
#include "base/tool_message.h"

namespace netrove {

// One mounted file system, listed where the report lists a drive.
struct DriveFacts {
  std::string name;             // the mount point, in place of a drive letter
  bool volumeReadable = false;  // false: only the drive line is shown
  std::string volumeName;       // the file system's label; may be empty
  std::string fileSystem;       // "ext4", "vfat", "nfs4", ...
};

struct MachineFacts {
  std::uint64_t processors = 0;
  std::uint64_t pageSize = 0;       // bytes
  std::uint64_t memoryLoad = 0;     // percent of physical memory in use
  std::uint64_t totalPhysical = 0;  // bytes, and so on below
  std::uint64_t availablePhysical = 0;
  std::uint64_t totalVirtual = 0;
  std::uint64_t availableVirtual = 0;
  std::vector<DriveFacts> drives;
};

struct SoftwareFacts {
  std::string systemName;  // "Linux"
  long majorVersion = 0;
  long minorVersion = 0;
  int buildNumber = 0;      // only its low 16 bits are shown
  std::string servicePack;  // "None." is shown when empty
};

std::string HardwareReport(const MachineFacts& facts);
std::string SoftwareReport(const SoftwareFacts& facts);

// Hands the report to the main window (sources 1135 and 1132).
void PostHardwareReport(IMainWindowReporter& reporter, const MachineFacts& facts);
void PostSoftwareReport(IMainWindowReporter& reporter, const SoftwareFacts& facts);
// The same with the facts of this machine.
void PostHardwareReport(IMainWindowReporter& reporter);
void PostSoftwareReport(IMainWindowReporter& reporter);

}  // namespace netrove
