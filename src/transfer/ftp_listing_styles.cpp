// The listing styles beside the Unix long format: MLSD/MLST facts and the
// DOS/Windows LIST lines, and the time stamps of MDTM and the "modify" fact.
// Every field comes from the network: each is checked for its form and range
// before it is used, and a line that fails is skipped whole.
#include <algorithm>
#include <cctype>
#include <limits>

#include "transfer/ftp_listing.h"

namespace netrove {
namespace {

bool IsDigits(std::string_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
  });
}

}  // namespace

std::optional<std::uint64_t> ParseFtpSize(std::string_view text) {
  if (!IsDigits(text)) return std::nullopt;
  std::uint64_t value = 0;
  for (const char c : text) {
    const auto digit = static_cast<std::uint64_t>(c - '0');
    if (value > (std::numeric_limits<std::uint64_t>::max() - digit) / 10) return std::nullopt;
    value = value * 10 + digit;
  }
  return value;
}

namespace {

int Number(std::string_view digits) {
  int value = 0;
  for (const char c : digits) value = value * 10 + (c - '0');
  return value;
}

bool SameIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar.
std::int64_t DaysFromCivil(int year, int month, int day) {
  const int y = year - (month <= 2 ? 1 : 0);
  const int era = (y >= 0 ? y : y - 399) / 400;
  const int yearOfEra = y - era * 400;
  const int dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return static_cast<std::int64_t>(era) * 146097 + dayOfEra - 719468;
}

int DaysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

// Takes the next run of blanks and the word after it off `rest`.
std::string_view NextWord(std::string_view& rest) {
  const std::size_t start = rest.find_first_not_of(' ');
  if (start == std::string_view::npos) {
    rest = {};
    return {};
  }
  rest.remove_prefix(start);
  const std::size_t end = rest.find(' ');
  const std::string_view word = rest.substr(0, end);
  rest.remove_prefix(end == std::string_view::npos ? rest.size() : end);
  return word;
}

// "MM-DD-YY" or "MM-DD-YYYY".
bool IsDosDate(std::string_view word) {
  if (word.size() != 8 && word.size() != 10) return false;
  return IsDigits(word.substr(0, 2)) && word[2] == '-' && IsDigits(word.substr(3, 2)) &&
         word[5] == '-' && IsDigits(word.substr(6));
}

// "HH:MM", with "AM" or "PM" on servers that count hours to 12.
bool IsDosTime(std::string_view word) {
  if (word.size() == 7 && (word.ends_with("AM") || word.ends_with("PM"))) word.remove_suffix(2);
  return word.size() == 5 && IsDigits(word.substr(0, 2)) && word[2] == ':' &&
         IsDigits(word.substr(3));
}

}  // namespace

std::optional<std::int64_t> ParseFtpTime(std::string_view text) {
  const std::size_t dot = text.find('.');
  if (dot != std::string_view::npos) {
    if (!IsDigits(text.substr(dot + 1))) return std::nullopt;
    text = text.substr(0, dot);
  }
  if (text.size() != 14 || !IsDigits(text)) return std::nullopt;
  const int year = Number(text.substr(0, 4));
  const int month = Number(text.substr(4, 2));
  const int day = Number(text.substr(6, 2));
  const int hour = Number(text.substr(8, 2));
  const int minute = Number(text.substr(10, 2));
  const int second = Number(text.substr(12, 2));
  if (year < 1 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month) ||
      hour > 23 || minute > 59 || second > 60) {
    return std::nullopt;
  }
  return DaysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
}

// facts SP name; each fact "name=value;" (the value may hold "=", as in
// "type=OS.unix=slink:/target"). Fact names are compared without case.
std::optional<FtpListingEntry> ParseFactsLine(std::string_view line) {
  const std::size_t blank = line.find(' ');
  if (blank == std::string_view::npos || blank + 1 >= line.size()) return std::nullopt;
  std::string_view facts = line.substr(0, blank);
  const std::string_view name = line.substr(blank + 1);
  // A name is one entry of the folder listed: a path would point elsewhere.
  if (name.find('/') != std::string_view::npos) return std::nullopt;
  if (!facts.ends_with(';')) return std::nullopt;
  FtpListingEntry entry;
  bool typed = false;
  while (!facts.empty()) {
    const std::size_t end = facts.find(';');
    const std::string_view fact = facts.substr(0, end);
    facts.remove_prefix(end + 1);
    const std::size_t equals = fact.find('=');
    if (equals == std::string_view::npos || equals == 0) return std::nullopt;
    const std::string_view key = fact.substr(0, equals);
    const std::string_view value = fact.substr(equals + 1);
    if (SameIgnoringCase(key, "type")) {
      if (SameIgnoringCase(value, "file")) {
        entry.isFolder = false;
      } else if (SameIgnoringCase(value, "dir")) {
        entry.isFolder = true;
      } else {
        return std::nullopt;  // cdir, pdir, OS.* links and devices
      }
      typed = true;
    } else if (SameIgnoringCase(key, "size")) {
      entry.size = ParseFtpSize(value);
      if (!entry.size) return std::nullopt;
    } else if (SameIgnoringCase(key, "modify")) {
      entry.modified = ParseFtpTime(value);
      if (!entry.modified) return std::nullopt;
    } else if (SameIgnoringCase(key, "perm")) {
      entry.permissions = std::string(value);
    }
  }
  if (!typed) return std::nullopt;
  entry.name = std::string(name);
  entry.label = DisplayName(name);
  return entry;
}

std::optional<FtpListingEntry> ParseDosLine(std::string_view line) {
  std::string_view rest = line;
  if (!IsDosDate(NextWord(rest)) || !IsDosTime(NextWord(rest))) return std::nullopt;
  const std::string_view sizeOrFolder = NextWord(rest);
  FtpListingEntry entry;
  if (sizeOrFolder == "<DIR>") {
    entry.isFolder = true;
  } else {
    entry.size = ParseFtpSize(sizeOrFolder);
    if (!entry.size) return std::nullopt;
  }
  const std::size_t start = rest.find_first_not_of(' ');
  if (start == std::string_view::npos) return std::nullopt;
  const std::string_view name = rest.substr(start);
  entry.name = std::string(name);
  entry.label = DisplayName(name);
  return entry;
}

}  // namespace netrove
