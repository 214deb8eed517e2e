// Compares every month from January of A.D. 1 to December 2100 with Debian's
// ncal, whose "-s IT" switches from the Julian to the Gregorian calendar in
// October 1582 as this calendar does. Its vertical layout puts one weekday
// per line (Sunday first) and one week per column of three characters.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "desktop/calendar_grid.h"

namespace netrove {
namespace {

constexpr const char* kNcal = "/usr/bin/ncal";

// Runs a program and returns what it wrote to its standard output.
std::string RunProgram(std::vector<std::string> args) {
  int out[2];
  if (pipe2(out, O_CLOEXEC) != 0) return {};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  std::vector<char*> argv;
  for (auto& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  // The C locale keeps ncal's weekday labels and month names in English.
  std::vector<std::string> environment = {"LC_ALL=C", "TZ=UTC"};
  std::vector<char*> envp = {environment[0].data(), environment[1].data(), nullptr};
  pid_t child = -1;
  const int spawned = posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  std::string text;
  char buffer[4096];
  ssize_t got = 0;
  while (spawned == 0 && (got = read(out[0], buffer, sizeof buffer)) > 0) text.append(buffer, got);
  close(out[0]);
  if (spawned == 0) waitpid(child, nullptr, 0);
  return text;
}

// day -> (weekday, week) as ncal prints them.
using DayPlaces = std::map<int, std::pair<int, int>>;

DayPlaces NcalPlaces(int month, int year) {
  std::istringstream lines(
      RunProgram({kNcal, "-s", "IT", std::to_string(month), std::to_string(year)}));
  std::string line;
  std::getline(lines, line);  // the title
  DayPlaces places;
  for (int weekday = 0; weekday < 7 && std::getline(lines, line); ++weekday) {
    for (std::size_t week = 0; 2 + 3 * week < line.size(); ++week) {
      const std::string field = line.substr(2 + 3 * week, 3);
      if (field.find_first_not_of(' ') != std::string::npos) {
        places[std::stoi(field)] = {weekday, static_cast<int>(week)};
      }
    }
  }
  return places;
}

DayPlaces GridPlaces(int month, int year) {
  DayPlaces places;
  for (const auto& cell : BuildMonthGrid(month, year).cells) {
    places[cell.day] = {cell.column, cell.row - 1};
  }
  return places;
}

TEST(CalendarAgainstNcal, EveryMonthFromAD1To2100) {
  if (access(kNcal, X_OK) != 0) GTEST_SKIP() << "ncal is not installed (Debian package ncal)";
  ASSERT_EQ(NcalPlaces(10, 1582), GridPlaces(10, 1582)) << "ncal's layout has changed";
  int mismatches = 0;
  for (int year = 1; year <= 2100; ++year) {
    for (int month = 1; month <= 12; ++month) {
      if (NcalPlaces(month, year) == GridPlaces(month, year)) continue;
      ADD_FAILURE() << "month " << month << " of year " << year << " differs from ncal";
      if (++mismatches == 10) return;
    }
  }
}

}  // namespace
}  // namespace netrove
