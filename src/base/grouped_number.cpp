#include "base/grouped_number.h"

namespace netrove {

std::string FormatGroupedNumber(std::uint64_t value) {
  std::string reversed;
  int digitsInGroup = 0;
  do {
    if (digitsInGroup == 3) {
      reversed += ',';
      digitsInGroup = 0;
    }
    reversed += static_cast<char>('0' + value % 10);
    value /= 10;
    ++digitsInGroup;
  } while (value != 0);
  return {reversed.rbegin(), reversed.rend()};
}

}  // namespace netrove
