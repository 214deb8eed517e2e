#include "desktop/system_report.h"

#include <gtest/gtest.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>

#include "desktop/system_facts.h"
#include "support/recording_reporter.h"
#include "support/scoped_home.h"

namespace netrove {
namespace {

TEST(SystemReport, NumbersAreGroupedByThousands) {
  EXPECT_EQ(FormatGroupedNumber(0), "0");
  EXPECT_EQ(FormatGroupedNumber(999), "999");
  EXPECT_EQ(FormatGroupedNumber(1000), "1,000");
  EXPECT_EQ(FormatGroupedNumber(100000), "100,000");
  EXPECT_EQ(FormatGroupedNumber(1234567), "1,234,567");
  EXPECT_EQ(FormatGroupedNumber(18446744073709551615ull), "18,446,744,073,709,551,615");
}

MachineFacts FakeMachine() {
  MachineFacts facts;
  facts.processors = 1;
  facts.pageSize = 4096;
  facts.memoryLoad = 57;
  facts.totalPhysical = 16777216;
  facts.availablePhysical = 7214080;
  facts.totalVirtual = 2147352576;
  facts.availableVirtual = 2000000000;
  facts.drives = {
      {"/", true, "root", "ext4"}, {"/mnt/cdrom", false, "", ""}, {"/home", true, "", "xfs"}};
  return facts;
}

TEST(SystemReport, HardwareReportListsEveryFactInOrder) {
  EXPECT_EQ(HardwareReport(FakeMachine()),
            "\tCPU\nNumber of processors: 1"
            "\n\n\tPAGE\nPage Size: 4,096"
            "\n\n\tMEMORY\nCurrent memory utilization: 57%"
            "\nTotal Physical Memory: 16,777,216"
            "\nAvailable Physical Memory: 7,214,080"
            "\nTotal Virtual Memory: 2,147,352,576"
            "\nAvailable Virtual Memory: 2,000,000,000"
            "\n\n\tDISK DRIVES"
            "\nDrive /  ***  Volume: root  ***  File System: ext4"
            "\nDrive /mnt/cdrom"
            "\nDrive /home  ***  Volume:   ***  File System: xfs");
  MachineFacts noDrives;
  EXPECT_TRUE(HardwareReport(noDrives).ends_with("Available Virtual Memory: 0\n\n\tDISK DRIVES"));
}

TEST(SystemReport, SoftwareReportNamesProgramAndSystem) {
  SoftwareFacts facts{"Linux", 6, 1, 0x10076, "#1 SMP PREEMPT_DYNAMIC Debian 6.1.76-1"};
  EXPECT_EQ(SoftwareReport(facts),
            "Netrove - Version 3.00 (Build 55).\n\n"
            "\n\nLinux - Version 6.1 (Build 118).\n"
            "\nService Pack - #1 SMP PREEMPT_DYNAMIC Debian 6.1.76-1");
  facts.servicePack.clear();
  EXPECT_TRUE(SoftwareReport(facts).ends_with("\nService Pack - None."));
}

TEST(SystemReport, ReportsGoToTheMainWindowWithTheirSources) {
  test::RecordingReporter reporter;
  PostHardwareReport(reporter, FakeMachine());
  PostSoftwareReport(reporter, SoftwareFacts{"Linux", 6, 1, 2, ""});
  PostHardwareReport(reporter);
  PostSoftwareReport(reporter);
  const auto messages = reporter.Messages();
  ASSERT_EQ(messages.size(), 4u);
  EXPECT_EQ(messages[0].source, kSourceHardware);
  EXPECT_EQ(messages[0].text, HardwareReport(FakeMachine()));
  EXPECT_EQ(messages[1].source, kSourceSoftware);
  EXPECT_EQ(messages[2].source, kSourceHardware);
  EXPECT_TRUE(messages[2].text.starts_with("\tCPU\nNumber of processors: "));
  EXPECT_EQ(messages[3].source, kSourceSoftware);
  EXPECT_TRUE(messages[3].text.starts_with("Netrove - Version 3.00 (Build 55).\n\n\n\n"));
}

TEST(SystemFacts, MemoryFromMeminfo) {
  const MemoryFacts facts = ParseMeminfo(
      "MemTotal:        1000000 kB\nMemFree:          100000 kB\nMemAvailable:     430000 kB\n"
      "Buffers:            1488 kB\nSwapTotal:        2000000 kB\nSwapFree:         1500000 kB\n"
      "HugePages_Total:       0\n");
  EXPECT_EQ(facts.memoryLoad, 57u);
  EXPECT_EQ(facts.totalPhysical, 1024000000u);
  EXPECT_EQ(facts.availablePhysical, 440320000u);
  EXPECT_EQ(facts.totalVirtual, 3072000000u);
  EXPECT_EQ(facts.availableVirtual, 1976320000u);

  // Kernels before MemAvailable: free memory plus the caches.
  const MemoryFacts old =
      ParseMeminfo("MemTotal: 400 kB\nMemFree: 100 kB\nBuffers: 50 kB\nCached: 50 kB\n");
  EXPECT_EQ(old.memoryLoad, 50u);
  EXPECT_EQ(old.availablePhysical, 200u * 1024);
  EXPECT_EQ(old.totalVirtual, 400u * 1024);

  const MemoryFacts empty = ParseMeminfo("garbage\n:\nMemTotal: x kB");
  EXPECT_EQ(empty.memoryLoad, 0u);
  EXPECT_EQ(empty.totalPhysical, 0u);
}

TEST(SystemFacts, MountsDecodeEscapesAndSkipShortLines) {
  const auto mounts = ParseMounts(
      "/dev/sdb1 /media/ann/My\\040Stick vfat rw 0 0\nbroken line\n"
      "server:/export /mnt/back\\134slash nfs4 rw 0 0");
  ASSERT_EQ(mounts.size(), 2u);
  EXPECT_EQ(mounts[0].device, "/dev/sdb1");
  EXPECT_EQ(mounts[0].mountPoint, "/media/ann/My Stick");
  EXPECT_EQ(mounts[0].fileSystem, "vfat");
  EXPECT_EQ(mounts[1].mountPoint, "/mnt/back\\slash");
  EXPECT_EQ(ParseMounts("/dev/sda1 /x\\04 ext4 rw")[0].mountPoint, "/x\\04");
}

TEST(SystemFacts, OnlyDrivesAUserWouldRecogniseAreListed) {
  const auto visible = [](const char* device, const char* mountPoint, const char* type) {
    return IsUserVisibleMount({device, mountPoint, type});
  };
  EXPECT_TRUE(visible("overlay", "/", "overlay"));
  EXPECT_TRUE(visible("/dev/sda2", "/home", "ext4"));
  EXPECT_TRUE(visible("/dev/sda1", "/boot/efi", "vfat"));
  EXPECT_TRUE(visible("/dev/sdc1", "/run/media/ann/USB", "exfat"));
  EXPECT_TRUE(visible("nas:/share", "/mnt/nas", "nfs4"));
  EXPECT_TRUE(visible("//nas/music", "/mnt/music", "cifs"));
  EXPECT_FALSE(visible("proc", "/proc", "proc"));
  EXPECT_FALSE(visible("tmpfs", "/tmp", "tmpfs"));
  EXPECT_FALSE(visible("cgroup", "/sys/fs/cgroup/cpu", "cgroup"));
  EXPECT_FALSE(visible("/dev/vda", "/run/netns", "ext4"));
  EXPECT_FALSE(visible("/dev/sda1", "/etc/hosts", "ext4"));
  EXPECT_FALSE(visible("/dev/loop3", "/snap/core/123", "squashfs"));
  EXPECT_FALSE(visible("/dev/loop4", "/opt/image", "squashfs"));
  EXPECT_FALSE(visible("/dev/sda1", "relative", "ext4"));
}

class FakeProbe : public IVolumeProbe {
 public:
  bool isReadable(const MountEntry& entry) const override {
    return !unreadable.contains(entry.mountPoint);
  }
  std::string label(const MountEntry& entry) const override {
    return entry.device == "/dev/sdb1" ? "STICK" : "";
  }
  std::set<std::string> unreadable;
};

TEST(SystemFacts, DrivesAreSortedAndALaterMountHidesAnEarlierOne) {
  FakeProbe probe;
  probe.unreadable = {"/mnt/gone"};
  const auto drives = SelectDrives(ParseMounts("/dev/sda1 / ext4 rw 0 0\n"
                                               "proc /proc proc rw 0 0\n"
                                               "/dev/sdb1 /media/stick vfat rw 0 0\n"
                                               "/dev/sda3 /home ext4 rw 0 0\n"
                                               "/dev/sdd1 /mnt/gone ext4 rw 0 0\n"
                                               "/dev/sde1 /home btrfs rw 0 0\n"),
                                   probe);
  ASSERT_EQ(drives.size(), 4u);
  EXPECT_EQ(drives[0].name, "/");
  EXPECT_EQ(drives[1].name, "/home");
  EXPECT_EQ(drives[1].fileSystem, "btrfs");
  EXPECT_EQ(drives[2].name, "/media/stick");
  EXPECT_EQ(drives[2].volumeName, "STICK");
  EXPECT_TRUE(drives[2].volumeReadable);
  EXPECT_EQ(drives[3].name, "/mnt/gone");
  EXPECT_FALSE(drives[3].volumeReadable);
}

TEST(SystemFacts, LabelsAndKernelReleases) {
  EXPECT_EQ(DecodeUdevLabel("My\\x20Disk\\x2fTwo"), "My Disk/Two");
  EXPECT_EQ(DecodeUdevLabel("Odd\\x2"), "Odd\\x2");
  EXPECT_EQ(DecodeUdevLabel("Bad\\xZZ"), "Bad\\xZZ");
  SoftwareFacts facts;
  ParseKernelRelease("6.1.76-1-amd64", facts);
  EXPECT_EQ(facts.majorVersion, 6);
  EXPECT_EQ(facts.minorVersion, 1);
  EXPECT_EQ(facts.buildNumber, 76);
  ParseKernelRelease("5.4", facts);
  EXPECT_EQ(facts.minorVersion, 4);
  EXPECT_EQ(facts.buildNumber, 0);
  ParseKernelRelease("", facts);
  EXPECT_EQ(facts.majorVersion, 0);
}

TEST(SystemFacts, ServicePackIsTheDistributionsPrettyNameElseTheKernelBuild) {
  EXPECT_EQ(ParseOsReleasePrettyName("NAME=\"Debian GNU/Linux\"\n"
                                     "PRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\nID=debian\n"),
            "Debian GNU/Linux 12 (bookworm)");
  EXPECT_EQ(ParseOsReleasePrettyName("PRETTY_NAME='Arch Linux'\n"), "Arch Linux");
  EXPECT_EQ(ParseOsReleasePrettyName("PRETTY_NAME=Plain\n"), "Plain");
  EXPECT_EQ(ParseOsReleasePrettyName("PRETTY_NAME=\"A \\\"B\\\" \\$C\"\n"), "A \"B\" $C");
  EXPECT_EQ(ParseOsReleasePrettyName("NAME=Only\n"), "");

  test::ScopedHome folder;
  const std::string file = (folder.path() / "os-release").string();
  std::ofstream(file) << "NAME=Test\nPRETTY_NAME=\"Test OS 7 (pine)\"\n";
  const SoftwareFacts named = ReadSoftwareFacts({"/nonexistent/os-release", file});
  EXPECT_TRUE(SoftwareReport(named).ends_with("\nService Pack - Test OS 7 (pine)"));

  struct utsname names {};
  ASSERT_EQ(uname(&names), 0);
  EXPECT_EQ(ReadSoftwareFacts({"/nonexistent/os-release"}).servicePack, names.version);
}

std::uint64_t MeminfoBytes(const std::string& key) {
  std::ifstream in("/proc/meminfo");
  std::string name;
  std::uint64_t kilobytes = 0;
  std::string unit;
  while (in >> name >> kilobytes) {
    std::getline(in, unit);
    if (name == key + ":") return kilobytes * 1024;
  }
  return 0;
}

TEST(SystemFacts, ThisMachineAgreesWithSysconfAndMeminfo) {
  const MachineFacts facts = ReadMachineFacts();
  EXPECT_EQ(facts.processors, static_cast<std::uint64_t>(sysconf(_SC_NPROCESSORS_ONLN)));
  EXPECT_EQ(facts.pageSize, static_cast<std::uint64_t>(sysconf(_SC_PAGESIZE)));
  EXPECT_EQ(facts.totalPhysical, MeminfoBytes("MemTotal"));
  EXPECT_EQ(facts.totalVirtual, MeminfoBytes("MemTotal") + MeminfoBytes("SwapTotal"));
  EXPECT_LE(facts.availablePhysical, facts.totalPhysical);
  EXPECT_LE(facts.memoryLoad, 100u);
  ASSERT_FALSE(facts.drives.empty());
  EXPECT_EQ(facts.drives[0].name, "/");

  const SoftwareFacts software = ReadSoftwareFacts();
  EXPECT_EQ(software.systemName, "Linux");
  EXPECT_GT(software.majorVersion, 2);
}

}  // namespace
}  // namespace netrove
