// Feeds arbitrary bytes to the address book reader. Whatever it accepts must
// survive writing and reading again unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "base/address_book.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string fault;
  const auto records =
      netrove::DecodeAddressBook({reinterpret_cast<const char*>(data), size}, &fault);
  if (!records) {
    if (fault.empty()) std::abort();
    return 0;
  }
  const netrove::AddressBook book(*records);
  const std::string encoded = netrove::EncodeAddressBook(book);
  const auto again = netrove::DecodeAddressBook(encoded, &fault);
  if (!again || *again != book.records()) std::abort();
  return 0;
}
