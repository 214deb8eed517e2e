#include <charconv>
#include <ostream>

#include "cli/cli_command.h"
#include "desktop/calendar_grid.h"

namespace netrove::cli {
namespace {

bool ParseInteger(const std::string& text, int& value) {
  const char* end = text.data() + text.size();
  const auto [next, error] = std::from_chars(text.data(), end, value);
  return error == std::errc() && next == end;
}

int RunCalendar(const CommandLine& line, CliStreams& io) {
  const auto& args = line.operands();
  CCalendarDate today;
  int month = today.month();
  int year = today.year();
  if (args.size() == 1) {
    io.err << "netrove-cli calendar: give the month and the year, or neither\n";
    return kUsageError;
  }
  if (args.size() == 2 && (!ParseInteger(args[0], month) || !ParseInteger(args[1], year))) {
    io.err << "netrove-cli calendar: the month and the year are numbers\n";
    return kUsageError;
  }
  if (month < 1 || month > 12) {
    io.err << "netrove-cli calendar: the month must be from 1 to 12\n";
    return kUsageError;
  }
  const MonthGrid grid = BuildMonthGrid(month, year);
  if (grid.cells.empty()) {
    io.err << "netrove-cli calendar: the year must be from " << CCalendarDate::kFirstYear << " to "
           << CCalendarDate::kYearLimit - 1 << ", and not 0\n";
    return kUsageError;
  }
  io.out << FormatMonthText(grid);
  return 0;
}

const CommandRegistrar registrar({"calendar",
                                  "[MONTH YEAR]",
                                  "Print a month as a grid of days (negative years are B.C.).",
                                  {},
                                  RunCalendar,
                                  0,
                                  2,
                                  "Without arguments: the current month.\n"});

}  // namespace
}  // namespace netrove::cli
