#include "desktop/system_report.h"

#include <cstdio>

#include "base/product.h"
#include "desktop/system_facts.h"

namespace netrove {

std::string HardwareReport(const MachineFacts& facts) {
  std::string text = "\tCPU\nNumber of processors: " + FormatGroupedNumber(facts.processors);
  text += "\n\n\tPAGE\nPage Size: " + FormatGroupedNumber(facts.pageSize);
  text += "\n\n\tMEMORY\nCurrent memory utilization: " + FormatGroupedNumber(facts.memoryLoad);
  text += "%\nTotal Physical Memory: " + FormatGroupedNumber(facts.totalPhysical);
  text += "\nAvailable Physical Memory: " + FormatGroupedNumber(facts.availablePhysical);
  text += "\nTotal Virtual Memory: " + FormatGroupedNumber(facts.totalVirtual);
  text += "\nAvailable Virtual Memory: " + FormatGroupedNumber(facts.availableVirtual);
  text += "\n\n\tDISK DRIVES";
  for (const auto& drive : facts.drives) {
    text += "\nDrive " + drive.name;
    if (drive.volumeReadable) {
      text += "  ***  Volume: " + drive.volumeName;
      text += "  ***  File System: " + drive.fileSystem;
    }
  }
  return text;
}

std::string SoftwareReport(const SoftwareFacts& facts) {
  std::string text(kProductTitle);
  text += " - ";
  text += kVersionText;
  text += "\n\n";
  text += "\n\n" + facts.systemName + " - ";
  char version[96];
  std::snprintf(version, sizeof version, "Version %ld.%ld (Build %d).\n", facts.majorVersion,
                facts.minorVersion, facts.buildNumber & 0xFFFF);
  text += version;
  text += "\nService Pack - ";
  text += facts.servicePack.empty() ? std::string("None.") : facts.servicePack;
  return text;
}

void PostHardwareReport(IMainWindowReporter& reporter, const MachineFacts& facts) {
  reporter.PostToolMessage(kSourceHardware, HardwareReport(facts));
}

void PostSoftwareReport(IMainWindowReporter& reporter, const SoftwareFacts& facts) {
  reporter.PostToolMessage(kSourceSoftware, SoftwareReport(facts));
}

void PostHardwareReport(IMainWindowReporter& reporter) {
  PostHardwareReport(reporter, ReadMachineFacts());
}

void PostSoftwareReport(IMainWindowReporter& reporter) {
  PostSoftwareReport(reporter, ReadSoftwareFacts());
}

}  // namespace netrove
