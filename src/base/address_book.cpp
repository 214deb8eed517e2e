#include "base/address_book.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <utility>

#include "base/case_folding.h"
#include "base/object_archive.h"
#include "base/user_paths.h"

namespace netrove {
namespace {

constexpr std::uint16_t kClassSchema = 0;
// Indices in the archive's table of classes and objects: 1 the array class,
// 2 the array object, 3 the record class, then the records.
constexpr std::uint16_t kRecordClassIndex = 3;
// The least a record can take: its class tag and two empty strings.
constexpr std::size_t kSmallestRecordSize = 4;
// Class tags carry a 15-bit table index.
constexpr std::size_t kTaggedIndices = 0x8000;

bool RecordLess(const AddressBookRecord& left, const AddressBookRecord& right) {
  return CompareAddressBookNames(left.name, right.name) < 0;
}

// Reads the tag in front of a record and checks that it names the record
// class. `recordClasses` marks the table indices of record class
// descriptions (so each check is a look-up, however many there are);
// `nextIndex` is the next free table index.
bool ReadRecordClass(ArchiveReader& reader, std::vector<bool>& recordClasses,
                     std::uint32_t& nextIndex, std::string* fault) {
  const auto tag = reader.ReadUInt16();
  if (!tag) {
    *fault = "it ends in the middle of the address book";
    return false;
  }
  if (*tag == kArchiveNewClassTag) {
    const auto description = reader.ReadClassDescription();
    if (!description || description->name != kRecordClassName ||
        description->schema != kClassSchema) {
      *fault = "it holds an entry that is not an address book record";
      return false;
    }
    if (nextIndex < recordClasses.size()) recordClasses[nextIndex] = true;
    ++nextIndex;
    return true;
  }
  const std::uint32_t index = *tag & ~kArchiveClassTag;
  if ((*tag & kArchiveClassTag) == 0 || !recordClasses[index]) {
    *fault = "it holds an entry that is not an address book record";
    return false;
  }
  return true;
}

// The array's class description and the record count.
std::optional<std::uint32_t> ReadArrayHeader(ArchiveReader& reader, std::string* fault) {
  const auto tag = reader.ReadUInt16();
  const auto description =
      tag == kArchiveNewClassTag ? reader.ReadClassDescription() : std::nullopt;
  if (!description || description->name != kArrayClassName || description->schema != kClassSchema) {
    *fault = "it is not an address book";
    return std::nullopt;
  }
  const auto count = reader.ReadCount();
  if (!count) {
    *fault = "it ends in the middle of the address book";
    return std::nullopt;
  }
  if (*count > reader.remaining() / kSmallestRecordSize) {
    *fault = "its number of entries does not fit its size";
    return std::nullopt;
  }
  return count;
}

}  // namespace

int CompareAddressBookNames(std::string_view left, std::string_view right) {
  if (const int folded = CompareFoldedText(left, right); folded != 0) return folded;
  const int exact = left.compare(right);
  return exact < 0 ? -1 : (exact > 0 ? 1 : 0);
}

AddressBook::AddressBook(std::vector<AddressBookRecord> records) : records_(std::move(records)) {
  // A book in order (every book this program wrote) needs no sorting, and
  // no sorting buffer as large as the book.
  if (!std::is_sorted(records_.begin(), records_.end(), RecordLess)) {
    std::stable_sort(records_.begin(), records_.end(), RecordLess);
  }
}

std::size_t AddressBook::Insert(AddressBookRecord record) {
  const auto place = std::upper_bound(records_.begin(), records_.end(), record, RecordLess);
  const auto index = static_cast<std::size_t>(place - records_.begin());
  records_.insert(place, std::move(record));
  return index;
}

std::size_t AddressBook::Replace(std::size_t index, AddressBookRecord record) {
  RemoveAt(index);
  return Insert(std::move(record));
}

void AddressBook::RemoveAt(std::size_t index) {
  records_.erase(records_.begin() + static_cast<std::ptrdiff_t>(index));
}

std::optional<std::size_t> AddressBook::FindName(std::string_view name) const {
  for (std::size_t i = 0; i < records_.size(); ++i) {
    if (records_[i].name == name) return i;
  }
  for (std::size_t i = 0; i < records_.size(); ++i) {
    if (CompareFoldedText(records_[i].name, name) == 0) return i;
  }
  return std::nullopt;
}

std::optional<std::size_t> SelectionAfterDelete(std::size_t deletedIndex, std::size_t remaining) {
  if (remaining == 0) return std::nullopt;
  const std::size_t before = deletedIndex == 0 ? 0 : deletedIndex - 1;
  return std::min(before, remaining - 1);
}

std::string EncodeAddressBook(const AddressBook& book) {
  ArchiveWriter writer;
  writer.WriteClassDescription(kArrayClassName, kClassSchema);
  writer.WriteCount(static_cast<std::uint32_t>(book.size()));
  for (std::size_t i = 0; i < book.size(); ++i) {
    if (i == 0) {
      writer.WriteClassDescription(kRecordClassName, kClassSchema);
    } else {
      writer.WriteClassReference(kRecordClassIndex);
    }
    writer.WriteString(book.at(i).name);
    writer.WriteString(book.at(i).address);
  }
  return writer.bytes();
}

std::optional<std::vector<AddressBookRecord>> DecodeAddressBook(std::span<const char> data,
                                                                std::string* fault) {
  ArchiveReader reader(data);
  const auto count = ReadArrayHeader(reader, fault);
  if (!count) return std::nullopt;
  std::vector<AddressBookRecord> records;
  records.reserve(*count);  // bounded by the file's size above
  std::vector<bool> recordClasses(kTaggedIndices, false);
  std::uint32_t nextIndex = kRecordClassIndex;
  for (std::uint32_t i = 0; i < *count; ++i) {
    if (!ReadRecordClass(reader, recordClasses, nextIndex, fault)) return std::nullopt;
    ++nextIndex;  // the record object itself takes a table entry
    auto name = reader.ReadString();
    auto address = name ? reader.ReadString() : std::nullopt;
    if (!address) {
      *fault = reader.fault() == ArchiveFault::kWideString
                   ? "it holds a text in wide characters, which an address book never holds"
                   : "it ends in the middle of an entry";
      return std::nullopt;
    }
    records.push_back({std::move(*name), std::move(*address)});
  }
  return records;
}

AddressBook MergeAddressBookEdits(const AddressBook& loaded, const AddressBook& edited,
                                  const AddressBook& current) {
  // Entries are counted, not just noted: a book may hold the same entry twice.
  std::map<std::pair<std::string, std::string>, int> change;
  for (const auto& record : edited.records()) ++change[{record.name, record.address}];
  for (const auto& record : loaded.records()) --change[{record.name, record.address}];
  std::vector<AddressBookRecord> kept;
  for (const auto& record : current.records()) {
    auto found = change.find({record.name, record.address});
    if (found != change.end() && found->second < 0) {
      ++found->second;  // removed in the window
      continue;
    }
    kept.push_back(record);
  }
  for (const auto& [record, count] : change) {
    for (int i = 0; i < count; ++i) kept.push_back({record.first, record.second});
  }
  return AddressBook(std::move(kept));
}

std::filesystem::path AddressBookPath() { return DataFolder() / kAddressBookFileName; }

}  // namespace netrove
