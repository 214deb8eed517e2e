#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <sstream>

#include "base/address_book.h"
#include "cli_runner.h"
#include "support/scoped_home.h"

namespace netrove::cli {
namespace {

using test::CliRun;

CliRun AddressBookCommand(std::vector<std::string> args) {
  args.insert(args.begin(), "addrbook");
  return test::RunInProcess(args);
}

class CliAddressBook : public ::testing::Test {
 protected:
  test::ScopedHome home_;
};

TEST_F(CliAddressBook, AddKeepsBookOrderInListAndFile) {
  EXPECT_EQ(AddressBookCommand({"add", "beta", "b.example"}).status, 0);
  EXPECT_EQ(AddressBookCommand({"add", "Alpha", "a.example"}).status, 0);
  EXPECT_EQ(AddressBookCommand({"add", "gamma", "10.0.0.3"}).status, 0);
  const CliRun list = AddressBookCommand({"list"});
  EXPECT_EQ(list.status, 0);
  EXPECT_EQ(list.out, "Alpha\ta.example\nbeta\tb.example\ngamma\t10.0.0.3\n");
  EXPECT_EQ(list.err, "");

  std::ifstream in(home_.path() / "AddrBook.dat", std::ios::binary);
  const std::string bytes(std::istreambuf_iterator<char>(in), {});
  AddressBook expected;
  expected.Insert({"Alpha", "a.example"});
  expected.Insert({"beta", "b.example"});
  expected.Insert({"gamma", "10.0.0.3"});
  EXPECT_EQ(bytes, EncodeAddressBook(expected));
}

TEST_F(CliAddressBook, RemoveTakesOneEntryByName) {
  AddressBookCommand({"add", "Host", "1"});
  AddressBookCommand({"add", "host", "2"});
  EXPECT_EQ(AddressBookCommand({"remove", "host"}).status, 0);
  EXPECT_EQ(AddressBookCommand({"list"}).out, "Host\t1\n");
  EXPECT_EQ(AddressBookCommand({"remove", "HOST"}).status, 0);
  EXPECT_EQ(AddressBookCommand({"list"}).out, "");
  const CliRun missing = AddressBookCommand({"remove", "host"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("no entry named"), std::string::npos);
}

TEST_F(CliAddressBook, ListEscapesWhatWouldSplitItsLines) {
  EXPECT_EQ(AddressBookCommand({"add", "tab\there", "back\\slash\r\nhost"}).status, 0);
  EXPECT_EQ(AddressBookCommand({"list"}).out, "tab\\there\tback\\\\slash\\r\\nhost\n");
}

TEST_F(CliAddressBook, BadCommandLinesAreUsageErrors) {
  for (const auto& args : std::vector<std::vector<std::string>>{
           {}, {"list", "x"}, {"add", "only-name"}, {"add", "", "host"}, {"frobnicate"}}) {
    const CliRun run = AddressBookCommand(args);
    EXPECT_EQ(run.status, kUsageError);
    EXPECT_FALSE(run.err.empty());
  }
}

TEST_F(CliAddressBook, DamagedFileIsReportedOnceAndTheAddStillSucceeds) {
  std::ofstream(home_.path() / "AddrBook.dat", std::ios::binary) << "garbage";
  const CliRun list = AddressBookCommand({"list"});
  EXPECT_EQ(list.status, 1);
  EXPECT_NE(list.err.find("damaged"), std::string::npos);
  const CliRun add = AddressBookCommand({"add", "n", "h"});
  EXPECT_EQ(add.status, 0);
  EXPECT_EQ(add.err, "");
  EXPECT_TRUE(std::filesystem::exists(home_.path() / "AddrBook.dat.damaged"));
}

// Twenty programs adding at the same moment keep all twenty entries.
TEST_F(CliAddressBook, ConcurrentAddsLoseNothing) {
  constexpr int kPrograms = 20;
  std::vector<pid_t> programs;
  for (int i = 0; i < kPrograms; ++i) {
    const std::string name = "host" + std::to_string(i);
    const pid_t pid = fork();
    if (pid == 0) {
      execl(NETROVE_CLI_PROGRAM, NETROVE_CLI_PROGRAM, "addrbook", "add", name.c_str(), "10.0.0.1",
            static_cast<char*>(nullptr));
      _exit(127);
    }
    programs.push_back(pid);
  }
  for (const pid_t pid : programs) {
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  const CliRun list = AddressBookCommand({"list"});
  EXPECT_EQ(std::count(list.out.begin(), list.out.end(), '\n'), kPrograms) << list.out;
}

}  // namespace
}  // namespace netrove::cli
