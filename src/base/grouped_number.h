#pragma once
// Counts shown to people: the system report's memory figures and the FTP
// folder job's progress line.
#include <cstdint>
#include <string>

namespace netrove {

// Decimal digits with a comma between groups of three: 1234567 -> "1,234,567".
std::string FormatGroupedNumber(std::uint64_t value);

}  // namespace netrove
