// Runs the built netrove-cli: the calendar, hardware and software commands.
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cli_runner.h"
#include "desktop/system_report.h"
#include "support/scoped_home.h"

namespace netrove {
namespace {

using test::CliRun;
using test::RunCli;

std::string MeminfoKilobytes(const std::string& key) {
  std::ifstream in("/proc/meminfo");
  std::string name, value, unit;
  while (in >> name >> value) {
    std::getline(in, unit);
    if (name == key + ":") return value;
  }
  return {};
}

TEST(CliCalendar, PrintsTheMonthOrRefusesWhatDoesNotExist) {
  test::ScopedHome home;
  const CliRun reform = RunCli(home, {"calendar", "10", "1582"});
  EXPECT_EQ(reform.status, 0);
  EXPECT_EQ(reform.out,
            "October   A.D. 1582\n"
            "Sun Mon Tue Wed Thu Fri Sat\n"
            "      1   2   3   4  15  16\n"
            " 17  18  19  20  21  22  23\n"
            " 24  25  26  27  28  29  30\n"
            " 31\n");
  EXPECT_TRUE(RunCli(home, {"calendar", "3", "-44"}).out.starts_with("March   44 B.C.\n"));
  EXPECT_EQ(RunCli(home, {"calendar"}).status, 0);
  const CliRun yearZero = RunCli(home, {"calendar", "1", "0"});
  // Values outside the calendar's range are usage errors, as in every command.
  EXPECT_EQ(yearZero.status, 2);
  EXPECT_TRUE(yearZero.out.empty());
  EXPECT_NE(yearZero.err.find("the year must be from -4713 to 1465190"), std::string::npos);
  EXPECT_EQ(RunCli(home, {"calendar", "13", "2020"}).status, 2);
  EXPECT_EQ(RunCli(home, {"calendar", "0", "2020"}).status, 2);
  EXPECT_EQ(RunCli(home, {"calendar", "10"}).status, 2);
  EXPECT_EQ(RunCli(home, {"calendar", "10", "15x"}).status, 2);
}

TEST(CliReports, HardwareNumbersAreThoseOfThisMachine) {
  test::ScopedHome home;
  const CliRun hardware = RunCli(home, {"hardware"});
  ASSERT_EQ(hardware.status, 0);
  const auto processors = static_cast<std::uint64_t>(sysconf(_SC_NPROCESSORS_ONLN));
  const auto pageSize = static_cast<std::uint64_t>(sysconf(_SC_PAGESIZE));
  const std::uint64_t memTotal = std::stoull(MeminfoKilobytes("MemTotal")) * 1024;
  EXPECT_TRUE(
      hardware.out.starts_with("\tCPU\nNumber of processors: " + FormatGroupedNumber(processors) +
                               "\n\n\tPAGE\nPage Size: " + FormatGroupedNumber(pageSize) + "\n"));
  EXPECT_NE(hardware.out.find("\nTotal Physical Memory: " + FormatGroupedNumber(memTotal) + "\n"),
            std::string::npos);
  EXPECT_NE(hardware.out.find("\n\n\tDISK DRIVES\nDrive /  ***  Volume: "), std::string::npos);

  const CliRun software = RunCli(home, {"software"});
  ASSERT_EQ(software.status, 0);
  EXPECT_TRUE(
      software.out.starts_with("Netrove - Version 3.00 (Build 55).\n\n\n\nLinux - Version "));
  EXPECT_EQ(RunCli(home, {"hardware", "extra"}).status, 2);
}

}  // namespace
}  // namespace netrove
