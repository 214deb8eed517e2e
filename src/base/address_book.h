#pragma once
// The address book: named hosts kept in one case-insensitive order, stored in
// "AddrBook.dat" as the framework's archive of one CObArray of
// CAddressBookRecord objects.
#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace netrove {

inline constexpr std::string_view kAddressBookFileName = "AddrBook.dat";
inline constexpr std::string_view kArrayClassName = "CObArray";
inline constexpr std::string_view kRecordClassName = "CAddressBookRecord";
// A file larger than this cannot be an address book anyone typed in (some
// 150,000 entries); it is treated as damaged instead of being read into
// memory. Each record costs far more in memory than its 4 smallest bytes in
// the file, so the limit also bounds what a hostile file can make the
// program allocate.
inline constexpr std::size_t kAddressBookMaxFileSize = 8 * 1024 * 1024;

// Texts are the bytes the user typed (UTF-8 on this system), kept unchanged,
// so a file written elsewhere in another 8-bit character set survives a save.
struct AddressBookRecord {
  std::string name;     // shown in the list
  std::string address;  // host name or dotted IPv4 address

  bool operator==(const AddressBookRecord&) const = default;
};

// The book's order: names compared by their Unicode case foldings
// (CompareFoldedText); names equal that way are ordered by their unfolded
// bytes, and identical names keep the order in which they were inserted.
// Returns <0, 0 or >0.
int CompareAddressBookNames(std::string_view left, std::string_view right);

// Records in book order. Every index of the list the window shows is the
// index of the same record here.
class AddressBook {
 public:
  AddressBook() = default;
  // Brings records read from a file into book order (stably, so a file in
  // order keeps its order exactly).
  explicit AddressBook(std::vector<AddressBookRecord> records);

  const std::vector<AddressBookRecord>& records() const { return records_; }
  std::size_t size() const { return records_.size(); }
  bool empty() const { return records_.empty(); }
  const AddressBookRecord& at(std::size_t index) const { return records_.at(index); }

  // Inserts at the record's place in book order and returns that index.
  std::size_t Insert(AddressBookRecord record);
  // Removes the record at `index` and inserts the new one at its own place.
  std::size_t Replace(std::size_t index, AddressBookRecord record);
  void RemoveAt(std::size_t index);
  // The first record whose name equals `name`; failing that, the first whose
  // name equals it without regard to case.
  std::optional<std::size_t> FindName(std::string_view name) const;

 private:
  std::vector<AddressBookRecord> records_;
};

// The entry to select after the entry at `deletedIndex` was deleted and
// `remaining` entries are left: the one before it, the new first entry when
// the first was deleted, nothing when the book is empty.
std::optional<std::size_t> SelectionAfterDelete(std::size_t deletedIndex, std::size_t remaining);

// The archive's bytes for the book.
std::string EncodeAddressBook(const AddressBook& book);

// Reads an archive. On failure returns nothing and sets `fault` to a short
// reason ("it ends in the middle of a record"). Bytes behind the archive are
// ignored.
std::optional<std::vector<AddressBookRecord>> DecodeAddressBook(std::span<const char> data,
                                                                std::string* fault);

// DataFolder()/AddrBook.dat.
std::filesystem::path AddressBookPath();

struct AddressBookLoad {
  AddressBook book;
  // Empty when the book was read or the file does not exist; otherwise the
  // text to show the user.
  std::string problem;
  // False when the file could not be read at all (no permission, an I/O
  // error, not a regular file): it stays where it is and must not be
  // written over.
  bool readable = true;
  // The file's content is not an address book (or too large to be one).
  bool damaged = false;
  // Where a damaged file was moved so that the next save cannot overwrite
  // it; empty when nothing was moved.
  std::filesystem::path keptAside;
};

// A missing file is an empty book without a problem. A file whose content is
// not an address book is moved aside (AddrBook.dat.damaged, then -2, -3, ...)
// and the book starts empty. A file that cannot be read is reported every
// time and left in place.
AddressBookLoad LoadAddressBook(const std::filesystem::path& file);

// Writes the book to a new file beside `file` (beside the target, when
// `file` is a symbolic link) and renames it over it, so the old book stays
// whole until the new one is complete. Returns the text to show when that
// fails, empty on success. Callers that read the book first hold an
// AddressBookLock; UpdateAddressBook does both.
std::string SaveAddressBook(const std::filesystem::path& file, const AddressBook& book);

// The exclusive lock (flock of `file`.lock) every read-modify-write of the
// book holds, in every process, from its read to its save.
class AddressBookLock {
 public:
  explicit AddressBookLock(const std::filesystem::path& file);
  ~AddressBookLock();
  AddressBookLock(const AddressBookLock&) = delete;
  AddressBookLock& operator=(const AddressBookLock&) = delete;
  bool locked() const { return locked_; }
  // Why the lock could not be taken.
  std::string problem(const std::filesystem::path& file) const;

 private:
  int fd_ = -1;
  int error_ = 0;
  bool locked_ = false;
};

struct AddressBookUpdate {
  // Every text to show the user, in order (a damaged book kept aside, a
  // book that cannot be read, a failed save).
  std::vector<std::string> problems;
  // The change is in the file, or `change` had nothing to change.
  bool saved = false;
};

// Under the lock: reads the book as it is now, lets `change` edit it and
// saves it when `change` returns true. A book that cannot be read is left
// alone and nothing is saved.
AddressBookUpdate UpdateAddressBook(const std::filesystem::path& file,
                                    const std::function<bool(AddressBook&)>& change);

// What a window that edited `loaded` into `edited` saves when the file now
// holds `current`: the entries it removed are removed from `current` and the
// entries it added are added, so entries another process added meanwhile
// stay.
AddressBook MergeAddressBookEdits(const AddressBook& loaded, const AddressBook& edited,
                                  const AddressBook& current);

}  // namespace netrove
