// Server text on its way to a terminal: the conversion itself, and the
// built program writing a hostile server's answer to a pseudo-terminal and
// to a file.
#include "cli/cli_terminal_output.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <sstream>
#include <string>
#include <vector>

#include "cli/cli_runner.h"
#include "support/scoped_home.h"
#include "support/scripted_server.h"

extern char** environ;

namespace netrove::cli {
namespace {

std::string Converted(const std::vector<std::string>& pieces) {
  CVisibleControls controls;
  std::string out;
  for (const auto& piece : pieces) out += controls.Convert(piece);
  return out + controls.Finish();
}

TEST(VisibleControls, ControlsShowInCaretNotationAndLineEndsStay) {
  EXPECT_EQ(Converted({"a\tb\r\nc\n"}), "a\tb\r\nc\n");
  EXPECT_EQ(Converted({"\x1b]52;c;aGk=\x07"}), "^[]52;c;aGk=^G");
  EXPECT_EQ(Converted({std::string("\0\x1f\x7f", 3)}), "^@^_^?");
  EXPECT_EQ(Converted({"over\rwrite"}), "over^Mwrite");
  // C1 controls as single bytes and in UTF-8 form.
  EXPECT_EQ(Converted({"\x9b"
                       "2J\x80\x9f"}),
            "M-^[2JM-^@M-^_");
  EXPECT_EQ(Converted({"\xc2\x9b"
                       "31m"}),
            "M-^[31m");
  // Valid UTF-8 passes; a Latin-1 byte shows as its character.
  EXPECT_EQ(Converted({"caf\xc3\xa9 \xe2\x82\xac"}), "caf\xc3\xa9 \xe2\x82\xac");
  EXPECT_EQ(Converted({"caf\xe9!"}), "caf\xc3\xa9!");
}

TEST(VisibleControls, PiecesSplitInsideALineEndOrACharacterConvertAsOne) {
  EXPECT_EQ(Converted({"line\r", "\nnext"}), "line\r\nnext");
  EXPECT_EQ(Converted({"bare\r", "x"}), "bare^Mx");
  EXPECT_EQ(Converted({"end\r"}), "end^M");
  EXPECT_EQ(Converted({"\xe2\x82", "\xac"}), "\xe2\x82\xac");
  EXPECT_EQ(Converted({"\xc2", "\x9b"}), "M-^[");
  // A sequence the output ends inside is its bytes' Latin-1 characters.
  EXPECT_EQ(Converted({"\xe2\x82"}), "\xc3\xa2M-^B");
}

TEST(VisibleControls, AStreamThroughTheBufferConvertsWhateverWritesIt) {
  std::ostringstream target;
  {
    CVisibleControlsBuffer buffer(*target.rdbuf());
    std::ostream visible(&buffer);
    visible << "a\x1b" << '[' << "2J\r" << std::flush;
    visible << 'x' << "\r";
  }
  EXPECT_EQ(target.str(), "a^[[2J^Mx^M");
}

// The daytime answer of a hostile server: clear the screen, set the title,
// write into the clipboard, a C1 CSI, a bare CR to overwrite the line.
const std::string kHostileAnswer =
    "\x1b[2J\x1b]0;owned\x07\x1b]52;c;aGk=\x07\x9b"
    "31mMon Dec  7\rX\r\n";
const std::string kHostileShown = "^[[2J^[]0;owned^G^[]52;c;aGk=^GM-^[31mMon Dec  7^MX\r\n";

std::string RunDaytimeOnTerminal(std::uint16_t port, int& status) {
  int master = -1;
  int terminal = -1;
  termios raw{};
  cfmakeraw(&raw);  // no LF to CR LF on the way: the bytes as written
  if (openpty(&master, &terminal, nullptr, &raw, nullptr) != 0) return "openpty failed";
  std::string program = NETROVE_CLI_PROGRAM;
  std::string command = "daytime";
  std::string server = "127.0.0.1:" + std::to_string(port);
  std::vector<char*> argv{program.data(), command.data(), server.data(), nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, terminal, STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, master);
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(terminal);
  std::string shown;
  char block[4096];
  // Everything the program wrote, until it closes its end of the terminal.
  for (ssize_t got = 0; spawned == 0 && (got = ::read(master, block, sizeof block)) > 0;) {
    shown.append(block, static_cast<std::size_t>(got));
  }
  ::close(master);
  if (spawned == 0) waitpid(pid, &status, 0);
  return shown;
}

TEST(TerminalOutput, AServersControlsReachATerminalVisiblyAndAFileUnchanged) {
  test::ScopedHome home;
  test::CScriptedServer server;
  server.Start(
      test::Script().Accept().Send(kHostileAnswer).Close().Accept().Send(kHostileAnswer).Close());
  int status = -1;
  const std::string shown = RunDaytimeOnTerminal(server.port(), status);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_NE(shown.find(kHostileShown), std::string::npos) << shown;
  EXPECT_EQ(shown.find('\x1b'), std::string::npos);

  test::CliProcess toFile(home, {"daytime", "127.0.0.1:" + std::to_string(server.port())});
  const test::CliRun run = toFile.Finish();
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.out.find(kHostileAnswer), std::string::npos);
  EXPECT_TRUE(server.Finished());
}

}  // namespace
}  // namespace netrove::cli
