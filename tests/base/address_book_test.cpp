#include "base/address_book.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <iterator>

#include "base/object_archive.h"
#include "support/scoped_home.h"

namespace netrove {
namespace {

using Bytes = std::string;
using namespace std::string_literals;

Bytes ArrayHeader() {
  return Bytes(
      "\xFF\xFF\x00\x00\x08\x00"
      "CObArray",
      14);
}
Bytes RecordClass() {
  return Bytes(
      "\xFF\xFF\x00\x00\x12\x00"
      "CAddressBookRecord",
      24);
}

AddressBook BookOf(std::vector<AddressBookRecord> records) {
  return AddressBook(std::move(records));
}

std::vector<std::string> Names(const AddressBook& book) {
  std::vector<std::string> names;
  for (const auto& record : book.records()) names.push_back(record.name);
  return names;
}

std::optional<std::vector<AddressBookRecord>> Decode(const Bytes& bytes,
                                                     std::string* fault = nullptr) {
  std::string ignored;
  return DecodeAddressBook(bytes, fault != nullptr ? fault : &ignored);
}

Bytes ReadFile(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const std::filesystem::path& file, const Bytes& bytes) {
  std::ofstream(file, std::ios::binary) << bytes;
}

TEST(AddressBookArchive, EmptyBookIsTheArrayHeaderWithCountZero) {
  EXPECT_EQ(EncodeAddressBook(AddressBook()), ArrayHeader() + Bytes("\x00\x00", 2));
}

TEST(AddressBookArchive, OneEntryLayout) {
  const Bytes bytes = EncodeAddressBook(BookOf({{"home", "10.0.0.1"}}));
  EXPECT_EQ(bytes, ArrayHeader() + Bytes("\x01\x00", 2) + RecordClass() +
                       "\x04"
                       "home" +
                       "\x08"
                       "10.0.0.1");
  EXPECT_EQ(bytes.size(), 14u + 2 + 24 + 5 + 9);
}

TEST(AddressBookArchive, FurtherRecordsCarryOnlyTheClassTag) {
  const Bytes bytes = EncodeAddressBook(BookOf({{"a", "h1"}, {"b", "h2"}, {"c", "h3"}}));
  EXPECT_EQ(bytes, ArrayHeader() + Bytes("\x03\x00", 2) + RecordClass() +
                       "\x01"
                       "a\x02h1" +
                       "\x03\x80"
                       "\x01"
                       "b\x02h2" +
                       "\x03\x80"
                       "\x01"
                       "c\x02h3");
}

TEST(AddressBookArchive, StringLengthPrefixes) {
  const auto prefixOfName = [](std::size_t length) {
    const Bytes bytes = EncodeAddressBook(BookOf({{std::string(length, 'n'), "h"}}));
    return bytes.substr(14 + 2 + 24, 7);
  };
  EXPECT_EQ(prefixOfName(254).substr(0, 1), "\xFE");
  EXPECT_EQ(prefixOfName(255).substr(0, 3), Bytes("\xFF\xFF\x00", 3));
  EXPECT_EQ(prefixOfName(300).substr(0, 3), "\xFF\x2C\x01");
  EXPECT_EQ(prefixOfName(0xFFFD).substr(0, 3), "\xFF\xFD\xFF");
  EXPECT_EQ(prefixOfName(0xFFFE), Bytes("\xFF\xFF\xFF\xFE\xFF\x00\x00", 7));
  EXPECT_EQ(prefixOfName(70000), Bytes("\xFF\xFF\xFF\x70\x11\x01\x00", 7));
}

TEST(AddressBookArchive, CountEscapesFrom0xFFFF) {
  const auto countBytes = [](std::size_t entries) {
    std::vector<AddressBookRecord> records(entries, {"n", "h"});
    return EncodeAddressBook(BookOf(std::move(records))).substr(14, 6);
  };
  EXPECT_EQ(countBytes(0xFFFE).substr(0, 2), "\xFE\xFF");
  EXPECT_EQ(countBytes(0xFFFF), Bytes("\xFF\xFF\xFF\xFF\x00\x00", 6));
  EXPECT_EQ(countBytes(0x10000), Bytes("\xFF\xFF\x00\x00\x01\x00", 6));
}

TEST(AddressBookArchive, RoundTrips) {
  const std::vector<std::vector<AddressBookRecord>> books = {
      {},
      {{"", ""}},
      {{"Alpha", "a.example"}, {"beta", "b.example"}, {"gamma", "10.0.0.3"}},
      {{std::string(300, 'x'), std::string(70000, 'y')}, {"z\xE9", "h\xFF"}},
      std::vector<AddressBookRecord>(0x10000, {"same", "host"}),
  };
  for (const auto& records : books) {
    const auto decoded = Decode(EncodeAddressBook(BookOf(records)));
    ASSERT_TRUE(decoded.has_value());
    EXPECT_EQ(*decoded, records);
  }
}

TEST(AddressBookArchive, BytesBehindTheArchiveAreIgnored) {
  const Bytes bytes = EncodeAddressBook(BookOf({{"a", "b"}})) + "stale bytes of an older book";
  const auto decoded = Decode(bytes);
  ASSERT_TRUE(decoded.has_value());
  EXPECT_EQ(*decoded, (std::vector<AddressBookRecord>{{"a", "b"}}));
}

TEST(AddressBookArchive, EveryTruncationIsRejected) {
  const Bytes bytes = EncodeAddressBook(BookOf({{"one", "1.1.1.1"}, {std::string(300, 'n'), "h"}}));
  for (std::size_t size = 0; size < bytes.size(); ++size) {
    std::string fault;
    EXPECT_FALSE(Decode(bytes.substr(0, size), &fault).has_value()) << size;
    EXPECT_FALSE(fault.empty());
  }
}

TEST(AddressBookArchive, ForeignAndAbsurdContentIsRejected) {
  const Bytes one = "\x01\x00"s;
  const std::vector<std::pair<const char*, Bytes>> cases = {
      {"other array class", Bytes("\xFF\xFF\x00\x00\x07\x00"
                                  "CObList\x00\x00",
                                  15)},
      {"array schema 1", Bytes("\xFF\xFF\x01\x00\x08\x00"
                               "CObArray\x00\x00",
                               16)},
      {"class name too long", Bytes("\xFF\xFF\x00\x00\x40\x00", 6) + Bytes(64, 'C')},
      {"object reference first", Bytes("\x01\x00", 2) + Bytes(20, '\0')},
      {"count beyond the data", ArrayHeader() + Bytes("\xFF\xFF\xFF\xFF\xFF\xFF", 6) + "abcdefgh"},
      {"16-bit count beyond the data",
       ArrayHeader() + Bytes("\x10\x00", 2) + RecordClass() + "\0\0"s},
      {"null record", ArrayHeader() + one + Bytes("\x00\x00\x00\x00", 4)},
      {"record of another class", ArrayHeader() + one +
                                      Bytes("\xFF\xFF\x00\x00\x04\x00"
                                            "CFoo\x00\x00",
                                            12)},
      {"record tag naming the array class",
       ArrayHeader() + Bytes("\x02\x00", 2) + RecordClass() + "\0\0\x01\x80\0\0"s},
      {"record tag naming an object",
       ArrayHeader() + Bytes("\x02\x00", 2) + RecordClass() + "\0\0\x04\x00\0\0"s},
      {"wide string", ArrayHeader() + one + RecordClass() + Bytes("\xFF\xFE\xFF\x01\x00\x00", 6)},
      {"length past the end", ArrayHeader() + one + RecordClass() + "\xFF\xFF\xFF\xF0\xFF\xFF\x7F"},
  };
  for (const auto& [what, bytes] : cases) {
    std::string fault;
    EXPECT_FALSE(Decode(bytes, &fault).has_value()) << what;
    EXPECT_FALSE(fault.empty()) << what;
  }
}

TEST(AddressBookArchive, FaultsNameTheirReason) {
  const Bytes entry = ArrayHeader() + "\x01\x00"s + RecordClass();
  std::string fault;
  EXPECT_FALSE(Decode(entry + Bytes("\xFF\xFE\xFF\x01\x00\x00", 6) + Bytes(64, 'x'), &fault));
  EXPECT_EQ(fault, "it holds a text in wide characters, which an address book never holds");
  EXPECT_FALSE(Decode(entry + "\x05nam"s, &fault));
  EXPECT_EQ(fault, "it ends in the middle of an entry");
}

TEST(AddressBookOrder, CaseInsensitiveWithDeterministicTies) {
  EXPECT_LT(CompareAddressBookNames("Alpha", "beta"), 0);
  EXPECT_LT(CompareAddressBookNames("beta", "Gamma"), 0);
  EXPECT_LT(CompareAddressBookNames("ab", "ABC"), 0);
  EXPECT_LT(CompareAddressBookNames("Alpha", "alpha"), 0);  // tie on case: raw bytes decide
  EXPECT_EQ(CompareAddressBookNames("same", "same"), 0);
  EXPECT_LT(CompareAddressBookNames("zulu", "\xC3\xA9tage"), 0);  // bytes above ASCII sort last
  EXPECT_LT(CompareAddressBookNames("[", "a"), 0);  // '[' is below 'a' once 'A'-'Z' are folded
}

TEST(AddressBookOrder, CaseIsFoldedInEveryScriptTheWayTheListShowsNames) {
  EXPECT_EQ(Names(BookOf({{"\xC3\xA4"
                           "b",
                           "1"},
                          {"\xC3\x84"
                           "c",
                           "2"},
                          {"\xC3\x84"
                           "a",
                           "3"}})),
            (std::vector<std::string>{"\xC3\x84"
                                      "a",
                                      "\xC3\xA4"
                                      "b",
                                      "\xC3\x84"
                                      "c"}));
  const std::pair<const char*, const char*> sameFolded[] = {
      {"\xCE\xA3\xCE\x8A\xCE\xA3\xCE\xA5\xCE\xA6\xCE\x9F\xCE\xA3",   // ΣΊΣΥΦΟΣ
       "\xCF\x83\xCE\xAF\xCF\x83\xCF\x85\xCF\x86\xCE\xBF\xCF\x82"},  // σίσυφος
      {"STRASSE",
       "stra\xC3\x9F"
       "e"},                                                     // straße
      {"\xD0\x9F\xD0\xA0\xD0\x98", "\xD0\xBF\xD1\x80\xD0\xB8"},  // ПРИ, при
      {"\xF0\x90\x90\x80", "\xF0\x90\x90\xA8"},                  // Deseret
      {"\xC4"
       "b",
       "\xE4"
       "b"},  // not UTF-8: read as Latin-1, as the list shows it
  };
  for (const auto& [upper, lower] : sameFolded) {
    EXPECT_EQ(CompareAddressBookNames(upper, lower) * CompareAddressBookNames(lower, upper), -1)
        << upper << " ties are broken by the bytes";
    AddressBook book = BookOf({{upper, "1"}, {"other", "2"}});
    const auto found = book.FindName(lower);
    ASSERT_TRUE(found.has_value()) << lower;
    EXPECT_EQ(book.at(*found).name, upper);
  }
  EXPECT_GT(CompareAddressBookNames("\xC3\xA9tage", "ZULU"), 0) << "é folds to itself, above z";
}

TEST(AddressBookOrder, InsertionPlacesEachNameAndReportsItsIndex) {
  AddressBook book;
  EXPECT_EQ(book.Insert({"beta", "b.example"}), 0u);
  EXPECT_EQ(book.Insert({"Alpha", "a.example"}), 0u);
  EXPECT_EQ(book.Insert({"gamma", "10.0.0.3"}), 2u);
  EXPECT_EQ(Names(book), (std::vector<std::string>{"Alpha", "beta", "gamma"}));
  // An identical name goes behind the one already there.
  EXPECT_EQ(book.Insert({"beta", "second"}), 2u);
  EXPECT_EQ(book.at(2).address, "second");
}

TEST(AddressBookOrder, ReplaceMovesTheRecordToItsNewPlace) {
  AddressBook book = BookOf({{"Alpha", "a"}, {"beta", "b"}, {"gamma", "c"}});
  EXPECT_EQ(book.Replace(0, {"zeta", "z"}), 2u);
  EXPECT_EQ(Names(book), (std::vector<std::string>{"beta", "gamma", "zeta"}));
}

TEST(AddressBookOrder, RecordsReadOutOfOrderAreSortedStably) {
  AddressBook book = BookOf({{"gamma", "1"}, {"beta", "2"}, {"Alpha", "3"}, {"beta", "4"}});
  EXPECT_EQ(Names(book), (std::vector<std::string>{"Alpha", "beta", "beta", "gamma"}));
  EXPECT_EQ(book.at(1).address, "2");
  EXPECT_EQ(book.at(2).address, "4");
}

TEST(AddressBookOrder, FindNamePrefersAnExactMatch) {
  AddressBook book = BookOf({{"Host", "1"}, {"host", "2"}, {"other", "3"}});
  EXPECT_EQ(book.FindName("host"), 1u);
  EXPECT_EQ(book.FindName("HOST"), 0u);
  EXPECT_EQ(book.FindName("OTHER"), 2u);
  EXPECT_FALSE(book.FindName("missing").has_value());
}

TEST(AddressBookOrder, SelectionAfterDelete) {
  EXPECT_FALSE(SelectionAfterDelete(0, 0).has_value());
  EXPECT_EQ(SelectionAfterDelete(0, 2), 0u);  // the first deleted: the new first
  EXPECT_EQ(SelectionAfterDelete(1, 2), 0u);
  EXPECT_EQ(SelectionAfterDelete(2, 2), 1u);  // the last deleted: the one before
}

class AddressBookFile : public ::testing::Test {
 protected:
  test::ScopedHome home_;
  std::filesystem::path file_ = AddressBookPath();
};

TEST_F(AddressBookFile, MissingFileIsAnEmptyBookWithoutProblem) {
  const AddressBookLoad load = LoadAddressBook(file_);
  EXPECT_TRUE(load.book.empty());
  EXPECT_TRUE(load.problem.empty());
}

TEST_F(AddressBookFile, SaveAndLoadInBookOrder) {
  AddressBook book;
  book.Insert({"beta", "b.example"});
  book.Insert({"Alpha", "a.example"});
  book.Insert({"gamma", "10.0.0.3"});
  ASSERT_EQ(SaveAddressBook(file_, book), "");
  EXPECT_EQ(ReadFile(file_), ArrayHeader() + Bytes("\x03\x00", 2) + RecordClass() +
                                 "\x05"
                                 "Alpha\x09"
                                 "a.example" +
                                 "\x03\x80\x04"
                                 "beta\x09"
                                 "b.example" +
                                 "\x03\x80\x05"
                                 "gamma\x08"
                                 "10.0.0.3");
  const AddressBookLoad load = LoadAddressBook(file_);
  EXPECT_TRUE(load.problem.empty());
  EXPECT_EQ(Names(load.book), (std::vector<std::string>{"Alpha", "beta", "gamma"}));
}

TEST_F(AddressBookFile, SaveReplacesALongerFileWholeAndLeavesNoTemporaryFile) {
  WriteFile(file_, EncodeAddressBook(BookOf({{"old", std::string(1000, 'h')}})));
  chmod(file_.c_str(), 0640);
  ASSERT_EQ(SaveAddressBook(file_, BookOf({{"new", "h"}})), "");
  EXPECT_EQ(ReadFile(file_), EncodeAddressBook(BookOf({{"new", "h"}})));
  struct stat info {};
  ASSERT_EQ(stat(file_.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0640u);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(home_.path()), {}), 1);
}

TEST_F(AddressBookFile, SaveCreatesTheDataFolder) {
  const auto nested = home_.path() / "a" / "b" / "AddrBook.dat";
  ASSERT_EQ(SaveAddressBook(nested, BookOf({{"n", "h"}})), "");
  EXPECT_TRUE(std::filesystem::exists(nested));
}

TEST_F(AddressBookFile, FailedSaveIsReportedAndKeepsTheOldBook) {
  const Bytes old = EncodeAddressBook(BookOf({{"keep", "me"}}));
  WriteFile(file_, old);
  // A folder in the way of the new file's name cannot be written to.
  const auto blocked = home_.path() / "file" / "AddrBook.dat";
  WriteFile(home_.path() / "file", "not a folder");
  EXPECT_NE(SaveAddressBook(blocked, BookOf({{"n", "h"}})).find("could not be saved"),
            std::string::npos);
  // Renaming over a folder fails after the new file was written.
  std::filesystem::create_directory(home_.path() / "dir.dat");
  EXPECT_NE(SaveAddressBook(home_.path() / "dir.dat", BookOf({})), "");
  EXPECT_EQ(ReadFile(file_), old);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(home_.path()), {}), 3);
}

TEST_F(AddressBookFile, DamagedFileIsReportedOnceAndKeptAside) {
  WriteFile(file_, "this is not an address book");
  AddressBookLoad load = LoadAddressBook(file_);
  EXPECT_TRUE(load.book.empty());
  EXPECT_NE(load.problem.find("damaged"), std::string::npos);
  EXPECT_EQ(load.keptAside, home_.path() / "AddrBook.dat.damaged");
  EXPECT_EQ(ReadFile(load.keptAside), "this is not an address book");

  EXPECT_TRUE(LoadAddressBook(file_).problem.empty());  // reported once
  ASSERT_EQ(SaveAddressBook(file_, BookOf({{"n", "h"}})), "");
  EXPECT_EQ(ReadFile(load.keptAside), "this is not an address book");

  WriteFile(file_, EncodeAddressBook(BookOf({{"n", "h"}})).substr(0, 30));
  load = LoadAddressBook(file_);
  EXPECT_EQ(load.keptAside, home_.path() / "AddrBook.dat.damaged-2");
  EXPECT_FALSE(std::filesystem::exists(file_));
}

// A folder or a FIFO in the book's place is reported every time, left where
// it is and never written over; opening the FIFO does not wait for a writer.
TEST_F(AddressBookFile, UnreadableBookIsReportedEachTimeAndLeftInPlace) {
  for (const bool fifo : {false, true}) {
    std::filesystem::remove(file_);
    if (fifo) {
      ASSERT_EQ(mkfifo(file_.c_str(), 0600), 0);
    } else {
      std::filesystem::create_directory(file_);
    }
    for (int attempt = 0; attempt < 2; ++attempt) {
      const AddressBookLoad load = LoadAddressBook(file_);
      EXPECT_FALSE(load.readable);
      EXPECT_NE(load.problem.find("not a regular file"), std::string::npos) << load.problem;
      EXPECT_TRUE(load.keptAside.empty());
    }
    const AddressBookUpdate update = UpdateAddressBook(file_, [](AddressBook& book) {
      book.Insert({"n", "h"});
      return true;
    });
    EXPECT_FALSE(update.saved);
    EXPECT_EQ(std::filesystem::is_fifo(file_), fifo);
    EXPECT_EQ(std::filesystem::is_directory(file_), !fifo);
    EXPECT_FALSE(std::filesystem::exists(home_.path() / "AddrBook.dat.damaged"));
  }
}

TEST_F(AddressBookFile, ALinkedBookIsWrittenThroughTheLink) {
  const auto synced = home_.path() / "synced";
  std::filesystem::create_directory(synced);
  WriteFile(synced / "book.dat", EncodeAddressBook(BookOf({{"old", "1"}})));
  std::filesystem::create_symlink("synced/book.dat", file_);
  const auto add = [](AddressBook& book) {
    book.Insert({"new", "2"});
    return true;
  };
  ASSERT_TRUE(UpdateAddressBook(file_, add).saved);
  EXPECT_TRUE(std::filesystem::is_symlink(file_));
  EXPECT_EQ(ReadFile(synced / "book.dat"), EncodeAddressBook(BookOf({{"new", "2"}, {"old", "1"}})));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(synced), {}), 1);
}

// A window saves its own edits onto the book as another process left it.
TEST(AddressBookMerge, KeepsWhatOthersAddedAndDropsWhatTheWindowRemoved) {
  const AddressBook loaded = BookOf({{"a", "1"}, {"b", "2"}, {"b", "2"}});
  const AddressBook edited = BookOf({{"a", "1"}, {"b", "2"}, {"c", "3"}});
  const AddressBook current = BookOf({{"a", "1"}, {"b", "2"}, {"b", "2"}, {"d", "4"}});
  EXPECT_EQ(MergeAddressBookEdits(loaded, edited, current).records(),
            BookOf({{"a", "1"}, {"b", "2"}, {"c", "3"}, {"d", "4"}}).records());
}

// Records that all name the last of 16,382 class descriptions load in one
// pass; a file too large to be a book is refused before it is read.
TEST_F(AddressBookFile, HostileFilesLoadInLinearTimeOrAreRefused) {
  ArchiveWriter writer;
  writer.WriteClassDescription("CObArray", 0);
  constexpr std::uint32_t kClasses = 16382;
  constexpr std::uint32_t kRecords = kClasses + 50000;
  writer.WriteCount(kRecords);
  for (std::uint32_t i = 0; i < kClasses; ++i) {
    writer.WriteClassDescription("CAddressBookRecord", 0);
    writer.WriteString("");
    writer.WriteString("");
  }
  const auto lastClass = static_cast<std::uint16_t>(3 + 2 * (kClasses - 1));
  for (std::uint32_t i = kClasses; i < kRecords; ++i) {
    writer.WriteClassReference(lastClass);
    writer.WriteString("");
    writer.WriteString("");
  }
  WriteFile(file_, writer.bytes());
  AddressBookLoad load = LoadAddressBook(file_);
  EXPECT_EQ(load.problem, "");
  EXPECT_EQ(load.book.size(), kRecords);

  std::filesystem::resize_file(file_, 64 * 1024 * 1024);
  load = LoadAddressBook(file_);
  EXPECT_NE(load.problem.find("too large"), std::string::npos) << load.problem;
  EXPECT_EQ(load.keptAside, home_.path() / "AddrBook.dat.damaged");
}

}  // namespace
}  // namespace netrove
