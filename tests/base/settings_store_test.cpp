#include "base/settings_store.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <thread>

#include "support/file_bytes.h"
#include "support/scoped_home.h"

namespace netrove {
namespace {

class DamageRecorder : public IDamagedStoreObserver {
 public:
  void StoreDamaged(const std::string& keptAs) override { reports.push_back(keptAs); }
  std::vector<std::string> reports;
};

std::vector<std::filesystem::path> FilesStartingWith(const std::filesystem::path& folder,
                                                     std::string_view prefix) {
  std::vector<std::filesystem::path> found;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (entry.path().filename().string().starts_with(prefix)) found.push_back(entry.path());
  }
  return found;
}

// Polls without sleeping, so a writer is caught between creating its
// temporary file and renaming it.
bool WaitForTemporaryFile(const std::filesystem::path& folder) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (std::chrono::steady_clock::now() < deadline) {
    if (!FilesStartingWith(folder, "settings.reg.tmp-").empty()) return true;
  }
  return false;
}

// Runs `body` in a child process and returns the child's id.
template <typename Body>
pid_t Spawn(Body body) {
  const pid_t pid = fork();
  if (pid == 0) _exit(body() ? 0 : 1);
  return pid;
}

bool ExitedCleanly(pid_t pid) {
  int status = 0;
  return waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

class SettingsStore : public ::testing::Test {
 protected:
  test::ScopedHome home_;
  DamageRecorder damage_;
  CDamagedStoreSubscription damageSubscription_{damage_};
  std::vector<std::string>& damageReports = damage_.reports;
};

TEST_F(SettingsStore, FirstRunReadsDefaultsAndCreatesNothing) {
  EXPECT_FALSE(OpenToolKey("Ping", false).has_value());
  EXPECT_FALSE(OpenToolKey("Netrove", true).has_value());
  EXPECT_EQ(ExportSettings(), "REGEDIT4\n");
  EXPECT_FALSE(std::filesystem::exists(SettingsFile()));
  EXPECT_TRUE(damageReports.empty());
}

TEST_F(SettingsStore, StoresReadableRegedit4Text) {
  auto key = CreateToolKey("Ping");
  ASSERT_TRUE(key.has_value());
  ASSERT_TRUE(key->WriteDword("PacketSize", 100));
  ASSERT_TRUE(key->WriteText("Host", "localhost"));
  EXPECT_EQ(SettingsFile(), home_.path() / "settings.reg");
  EXPECT_EQ(test::ReadFileBytes(SettingsFile()),
            "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Corvane Inc.\\Netrove\\Ping]\n"
            "\"PacketSize\"=dword:00000064\n\"Host\"=\"localhost\"\n");
  EXPECT_EQ(ExportSettings(), test::ReadFileBytes(SettingsFile()));
}

TEST_F(SettingsStore, KeyAndValueNamesIgnoreCase) {
  auto written = CreateToolKey("TraceRoute");
  ASSERT_TRUE(written && written->WriteDword("MaxHops", 30) && written->WriteText("Host", "a"));

  auto read = OpenToolKey("traceroute", true);
  ASSERT_TRUE(read.has_value());
  std::uint32_t hops = 0;
  std::string host;
  EXPECT_TRUE(read->ReadDword("maxhops", hops));
  EXPECT_TRUE(read->ReadText("HOST", host));
  EXPECT_EQ(hops, 30u);
  EXPECT_EQ(host, "a");

  ASSERT_TRUE(read->WriteDword("MAXHOPS", 12));
  EXPECT_TRUE(read->ReadDword("MaxHops", hops)) << "a key sees its own writes";
  EXPECT_EQ(hops, 12u);
  const std::string text = ExportSettings();
  EXPECT_NE(text.find("[HKEY_CURRENT_USER\\Software\\Corvane Inc.\\Netrove\\TraceRoute]\n"
                      "\"MaxHops\"=dword:0000000c\n\"Host\"=\"a\"\n"),
            std::string::npos)
      << text;
  EXPECT_EQ(text.find("traceroute"), std::string::npos);
}

TEST_F(SettingsStore, ValuesReadIntoVariablesOfTheReadersSize) {
  auto key = CreateToolKey("NNTP");
  ASSERT_TRUE(key && key->WriteText("Short", "AB") && key->WriteText("Long", "ABCDEFGH"));
  ASSERT_TRUE(key->WriteRaw("Packed", RegType::Sz, {0x78, 0x56, 0x34, 0x12}));

  std::uint32_t number = 0xFFFFFFFF;
  EXPECT_TRUE(key->ReadDword("Short", number));
  EXPECT_EQ(number, 0xFF004241u) << "only the value's own three bytes are filled";
  EXPECT_TRUE(key->ReadDword("Long", number));
  EXPECT_EQ(number, 0x44434241u);
  EXPECT_TRUE(key->ReadDword("Packed", number));
  EXPECT_EQ(number, 0x12345678u);
  std::int32_t kept = -7;
  EXPECT_FALSE(key->ReadDword("Missing", kept));
  EXPECT_EQ(kept, -7);
  EXPECT_EQ(key->ValueType("packed"), RegType::Sz);
}

TEST_F(SettingsStore, LongTextIsCutAndStaysTerminatedInsideTheBuffer) {
  auto key = CreateToolKey("Finger");
  ASSERT_TRUE(key && key->WriteText("ServerLocation", "a.very.long.host.name"));

  char buffer[16];
  std::fill(std::begin(buffer), std::end(buffer), 'X');
  EXPECT_TRUE(key->ReadText("ServerLocation", buffer, 8));
  EXPECT_STREQ(buffer, "a.very.");
  EXPECT_EQ(buffer[8], 'X') << "nothing written past the capacity";

  EXPECT_TRUE(key->ReadText("ServerLocation", buffer, sizeof buffer));
  EXPECT_EQ(std::string_view(buffer), "a.very.long.hos");

  char untouched[4] = "abc";
  EXPECT_FALSE(key->ReadText("ServerLocation", untouched, 0));
  EXPECT_FALSE(key->ReadText("QueryToken", untouched, sizeof untouched));
  EXPECT_STREQ(untouched, "abc");

  ASSERT_TRUE(key->WriteRaw("Unterminated", RegType::Sz, {'h', 'i'}));
  char fits[8] = "xxxxxxx";
  EXPECT_TRUE(key->ReadText("Unterminated", fits, sizeof fits));
  EXPECT_STREQ(fits, "hi");
}

TEST_F(SettingsStore, KeysAreFoundByToolNameAndRejectImpossibleNames) {
  EXPECT_EQ(ToolKeyPath("Ping"), "Software\\Corvane Inc.\\Netrove\\Ping");
  EXPECT_EQ(ToolKeyPath("NNTPPost"), "Software\\Corvane Inc.\\Netrove\\NNTP");
  EXPECT_EQ(PlacementPrefix("NNTPPost"), "posting");
  EXPECT_EQ(PlacementPrefix("NNTP"), "");

  auto posting = CreateToolKey("NNTPPost");
  ASSERT_TRUE(posting && posting->WriteDword("postingWpTop", 5));
  auto newsreader = OpenToolKey("NNTP", false);
  ASSERT_TRUE(newsreader.has_value());
  EXPECT_TRUE(newsreader->ReadRaw("postingwptop").has_value());

  EXPECT_FALSE(CreateToolKey("").has_value());
  EXPECT_FALSE(CreateToolKey("Ping\\Sub").has_value());
  EXPECT_FALSE(CreateToolKey("Line\nBreak").has_value());
  EXPECT_FALSE(posting->WriteDword("bad\nname", 1));
  auto readOnly = OpenToolKey("NNTP", false);
  EXPECT_FALSE(readOnly->WriteDword("postingWpTop", 6));
}

TEST_F(SettingsStore, DeleteProgramKeysRemovesTheMakersTreeOnly) {
  test::WriteFileBytes(SettingsFile(),
                       "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Other]\n\"Keep\"=\"me\"\n");
  ASSERT_TRUE(CreateToolKey("Ping")->WriteDword("PacketSize", 100));
  ASSERT_TRUE(CreateToolKey("Netrove")->WriteDword("AlwaysOnTop", 1));

  EXPECT_TRUE(DeleteProgramKeys());
  EXPECT_FALSE(OpenToolKey("Ping", false).has_value());
  EXPECT_FALSE(OpenToolKey("Netrove", false).has_value());
  EXPECT_EQ(ExportSettings(),
            "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Other]\n\"Keep\"=\"me\"\n");
  EXPECT_TRUE(DeleteProgramKeys()) << "nothing left to delete is no failure";
}

TEST_F(SettingsStore, DamagedFileIsKeptAsideReportedOnceAndDefaultsApply) {
  const std::string damaged =
      "REGEDIT4\n[HKEY_CURRENT_USER\\Software\\Corvane Inc.\\Netrove\\Ping]\n"
      "\"PacketSize\"=dword:zz\n";
  test::WriteFileBytes(SettingsFile(), damaged);

  EXPECT_FALSE(OpenToolKey("Ping", false).has_value());
  EXPECT_FALSE(OpenToolKey("Ping", false).has_value());
  ASSERT_EQ(damageReports.size(), 1u);
  const std::filesystem::path keptAs = damageReports[0];
  EXPECT_EQ(keptAs.parent_path(), home_.path());
  EXPECT_TRUE(keptAs.filename().string().starts_with("settings.reg.damaged-"));
  EXPECT_EQ(test::ReadFileBytes(keptAs), damaged);

  ASSERT_TRUE(CreateToolKey("Ping")->WriteDword("PacketSize", 64));
  EXPECT_EQ(test::ReadFileBytes(keptAs), damaged) << "the damaged file is never written over";
  EXPECT_EQ(damageReports.size(), 1u);

  // A second damage within the same second is kept under another name.
  test::WriteFileBytes(SettingsFile(), "not a registry file");
  EXPECT_TRUE(CreateToolKey("Ping").has_value());
  ASSERT_EQ(damageReports.size(), 2u);
  EXPECT_NE(damageReports[1], damageReports[0]);
  EXPECT_EQ(test::ReadFileBytes(damageReports[1]), "not a registry file");
  EXPECT_EQ(FilesStartingWith(home_.path(), "settings.reg.damaged-").size(), 2u);
}

TEST_F(SettingsStore, WriterKilledMidWriteLeavesAWholeFile) {
  ASSERT_TRUE(CreateToolKey("Ping")->WriteDword("Counter", 0));
  const std::vector<std::uint8_t> blob(256 * 1024, 0xAB);
  int killedWhileWriting = 0;
  for (int round = 0; round < 5; ++round) {
    const pid_t writer = Spawn([&] {
      auto key = CreateToolKey("Ping");
      for (std::uint32_t i = 1; key; ++i) {
        if (!key->WriteRaw("Blob", RegType::Binary, blob) || !key->WriteDword("Counter", i)) break;
      }
      return false;
    });
    ASSERT_TRUE(WaitForTemporaryFile(home_.path()));
    ASSERT_EQ(kill(writer, SIGKILL), 0);
    int status = 0;
    ASSERT_EQ(waitpid(writer, &status, 0), writer);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the writer was still writing when killed";
    if (!FilesStartingWith(home_.path(), "settings.reg.tmp-").empty()) ++killedWhileWriting;

    std::string error;
    ASSERT_TRUE(RegistryFile::Parse(test::ReadFileBytes(SettingsFile()), &error).has_value())
        << error;
    auto key = OpenToolKey("Ping", true);
    std::uint32_t counter = 0;
    ASSERT_TRUE(key && key->ReadDword("Counter", counter));
    ASSERT_TRUE(key->WriteDword("Counter", counter)) << "a killed writer holds no lock";
    EXPECT_TRUE(FilesStartingWith(home_.path(), "settings.reg.tmp-").empty())
        << "temporary files of killed writers are removed by the next writer";
  }
  EXPECT_GT(killedWhileWriting, 0) << "no writer was caught between its temporary file and rename";
  EXPECT_TRUE(damageReports.empty());
}

TEST_F(SettingsStore, ConcurrentWritersInTwoProcessesLoseNothing) {
  constexpr int kWrites = 40;
  auto writeSeries = [](const char* prefix) {
    return [prefix] {
      for (int i = 0; i < kWrites; ++i) {
        auto key = CreateToolKey("Chat");
        if (!key || !key->WriteDword(prefix + std::to_string(i), i)) return false;
      }
      return true;
    };
  };
  const pid_t first = Spawn(writeSeries("A"));
  const pid_t second = Spawn(writeSeries("B"));
  ASSERT_TRUE(ExitedCleanly(first));
  ASSERT_TRUE(ExitedCleanly(second));

  auto key = OpenToolKey("chat", false);
  ASSERT_TRUE(key.has_value());
  for (int i = 0; i < kWrites; ++i) {
    for (const char* prefix : {"A", "B"}) {
      std::uint32_t value = 999;
      EXPECT_TRUE(key->ReadDword(prefix + std::to_string(i), value)) << prefix << i;
      EXPECT_EQ(value, static_cast<std::uint32_t>(i));
    }
  }
}

// Reads are served from the parsed file while it is unchanged; every change
// by another process or an editor is seen at the next read.
TEST_F(SettingsStore, KeptParsedFileFollowsEveryChangeOfTheFile) {
  const auto read = [] {
    std::uint32_t value = 0;
    if (auto key = OpenToolKey("Ping", false)) key->ReadDword("Value", value);
    return value;
  };
  ASSERT_TRUE(CreateToolKey("Ping")->WriteDword("Value", 1));
  EXPECT_EQ(read(), 1u);
  // Another process writes a value of the same size.
  ASSERT_TRUE(ExitedCleanly(Spawn([] { return CreateToolKey("Ping")->WriteDword("Value", 2); })));
  EXPECT_EQ(read(), 2u);
  // An editor changes one digit in place; its clock is later than the file's.
  const auto file = SettingsFile();
  const std::string text = test::ReadFileBytes(file);
  const auto digit = text.find("dword:00000002");
  ASSERT_NE(digit, std::string::npos);
  struct stat before {};
  ASSERT_EQ(::stat(file.c_str(), &before), 0);
  const int fd = ::open(file.c_str(), O_WRONLY);
  ASSERT_EQ(::pwrite(fd, "3", 1, static_cast<off_t>(digit + 13)), 1);
  timespec times[2] = {before.st_atim, before.st_mtim};
  times[1].tv_sec += 1;
  ASSERT_EQ(::futimens(fd, times), 0);
  ::close(fd);
  EXPECT_EQ(read(), 3u);
  // Deleting keys leaves the others found by name, in any case.
  ASSERT_TRUE(CreateToolKey("Finger")->WriteDword("Value", 4));
  ASSERT_TRUE(DeleteProgramKeys());
  EXPECT_EQ(read(), 0u);
  ASSERT_TRUE(CreateToolKey("FINGER")->WriteDword("Value", 5));
  std::uint32_t finger = 0;
  ASSERT_TRUE(OpenToolKey("finger", false)->ReadDword("value", finger));
  EXPECT_EQ(finger, 5u);
}

}  // namespace
}  // namespace netrove
