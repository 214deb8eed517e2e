// Chat conversations over the loopback: two engines of the same process
// talking to each other, and engines facing a raw peer that misbehaves.
#include "peer/chat_session.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>

#include <array>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>

#include "cli/cli_runner.h"
#include "support/loopback_socket.h"
#include "support/recording_reporter.h"
#include "support/refusing_threads.h"
#include "support/scripted_server.h"
#include "support/wait_until.h"

namespace netrove {
namespace {

class RecordingChat : public IChatEvents {
 public:
  void ChatReceived(std::string bytes) override {
    std::lock_guard lock(mutex_);
    received_ += bytes;
  }
  void ChatPeerClosed() override { ++peerClosed; }
  void ChatHangingUp() override { ++hangingUp; }
  void ChatEnded() override { ++ended; }
  std::string Received() const {
    std::lock_guard lock(mutex_);
    return received_;
  }

  std::atomic<int> peerClosed{0};
  std::atomic<int> hangingUp{0};
  std::atomic<int> ended{0};

 private:
  mutable std::mutex mutex_;
  std::string received_;
};

// A connected pair on 127.0.0.1: the caller's socket and the accepted one.
struct Call {
  std::unique_ptr<CNetSocket> caller = std::make_unique<CNetSocket>();
  std::unique_ptr<CNetSocket> callee = std::make_unique<CNetSocket>();

  Call() {
    CNetSocket listener;
    EXPECT_TRUE(listener.Create(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    in_addr loopback{};
    loopback.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_TRUE(listener.Bind(SocketAddress::FromIPv4(loopback, 0)));
    EXPECT_TRUE(listener.Listen(1));
    SocketAddress bound;
    EXPECT_TRUE(listener.LocalAddress(bound));
    EXPECT_TRUE(caller->Create(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    EXPECT_TRUE(caller->Connect("127.0.0.1", bound.port()));
    EXPECT_TRUE(listener.Accept(*callee));
  }
};

std::string ReadAll(CNetSocket& socket, std::size_t size) {
  std::string bytes(size, '\0');
  std::size_t filled = 0;
  while (filled < size) {
    const SocketCount got = socket.Recv(bytes.data() + filled, size - filled);
    if (!got || got.bytes == 0) break;
    filled += static_cast<std::size_t>(got.bytes);
  }
  bytes.resize(filled);
  return bytes;
}

TEST(ChatSession, TwoEnginesTalkAndHangUpInBothPhasesOnce) {
  test::RecordingReporter reporter;
  Call call;
  RecordingChat callerEvents;
  RecordingChat calleeEvents;
  CChatSession caller(std::move(call.caller), callerEvents, reporter);
  CChatSession callee(std::move(call.callee), calleeEvents, reporter);
  caller.Start();
  callee.Start();

  EXPECT_FALSE(caller.Send(""));
  ASSERT_TRUE(caller.Send("hello"));
  ASSERT_TRUE(test::WaitUntil([&] { return calleeEvents.Received().size() == 9; }));
  EXPECT_EQ(calleeEvents.Received(), "hello\r\n\r\n");

  // Longer than one segment: goes out in pieces, arrives whole.
  const std::string longText(5000, 'x');
  ASSERT_TRUE(callee.Send(std::string(longText).append("\nend")));
  ASSERT_TRUE(test::WaitUntil([&] { return callerEvents.Received().size() == 5009; }));
  EXPECT_EQ(callerEvents.Received(), std::string(longText).append("\r\nend\r\n\r\n"));

  caller.HangUp();
  caller.HangUp();
  EXPECT_FALSE(caller.Send("too late"));
  ASSERT_TRUE(test::WaitUntil([&] { return callerEvents.ended == 1 && calleeEvents.ended == 1; }));
  EXPECT_EQ(calleeEvents.peerClosed, 1);
  EXPECT_EQ(callerEvents.peerClosed, 1);
  EXPECT_EQ(callerEvents.hangingUp, 1);
  EXPECT_EQ(calleeEvents.hangingUp, 1);
  EXPECT_TRUE(caller.Ended());
  EXPECT_TRUE(reporter.Messages().empty());
}

// A packet socket pair keeps each send call a record of its own, so the
// pieces a message went out in can be counted.
TEST(ChatSession, AMessageLongerThanASegmentGoesOutInPiecesOfAtMostOne) {
  int pair[2];
  ASSERT_EQ(::socketpair(AF_UNIX, SOCK_SEQPACKET, 0, pair), 0);
  auto mine = std::make_shared<CNetSocket>();
  mine->Adopt(pair[0]);
  CNetSocket peer;
  peer.Adopt(pair[1]);
  test::RecordingReporter reporter;
  RecordingChat events;
  CChatSession session(mine, events, reporter);
  session.Start();
  ASSERT_TRUE(session.Send(std::string(4000, 'm')));
  std::vector<long> pieces;
  std::string arrived;
  std::array<char, 65536> record{};
  while (arrived.size() < 4004) {
    const SocketCount got = peer.Recv(record.data(), record.size());
    ASSERT_TRUE(got && got.bytes > 0);
    pieces.push_back(got.bytes);
    arrived.append(record.data(), static_cast<std::size_t>(got.bytes));
  }
  EXPECT_EQ(pieces, (std::vector<long>{1460, 1460, 1084}));
  EXPECT_EQ(arrived, std::string(4000, 'm') + "\r\n\r\n");
  session.HangUp();
  ASSERT_TRUE(peer.ShutdownSend());
  EXPECT_TRUE(test::WaitUntil([&] { return session.Ended(); }));
}

TEST(ChatSession, HangUpRacingThePeersEndRunsEachPhaseOnce) {
  for (int round = 0; round < 20; ++round) {
    test::RecordingReporter reporter;
    Call call;
    RecordingChat events;
    CChatSession session(std::move(call.caller), events, reporter);
    session.Start();
    std::thread presser([&] {
      for (int i = 0; i < 50; ++i) session.HangUp();
    });
    call.callee->Interrupt();  // the peer's end arrives meanwhile
    presser.join();
    ASSERT_TRUE(test::WaitUntil([&] { return session.Ended(); }));
    EXPECT_EQ(events.hangingUp, 1);
    EXPECT_EQ(events.ended, 1);
  }
}

TEST(ChatSession, ACalleeThatSaysNoEndsTheCallersConversation) {
  test::RecordingReporter reporter;
  Call call;
  RecordingChat events;
  CChatSession caller(std::move(call.caller), events, reporter);
  caller.Start();
  ASSERT_TRUE(caller.Send("anyone there?"));
  call.callee->Interrupt();
  call.callee->Close();
  ASSERT_TRUE(test::WaitUntil([&] { return events.ended == 1; }));
  EXPECT_EQ(events.hangingUp, 1);
}

TEST(ChatSession, APeerThatNeverReadsNorEndsIsCutAfterTheGracePeriod) {
  test::RecordingReporter reporter;
  Call call;
  RecordingChat events;
  CChatSession session(std::move(call.caller), events, reporter, std::chrono::milliseconds(200));
  session.Start();
  // Far more than both socket buffers hold: the sending thread blocks.
  for (int i = 0; i < 64; ++i) ASSERT_TRUE(session.Send(std::string(65536, 'z')));
  session.HangUp();
  ASSERT_TRUE(test::WaitUntil([&] { return session.Ended(); }));
  EXPECT_EQ(events.ended, 1);
  EXPECT_TRUE(reporter.Messages().empty());  // the cut is no error to show
  (void)ReadAll(*call.callee, 1);
}

// Sends from a non-blocking socket until the connection takes no more.
std::size_t SendUntilFull(int descriptor) {
  ::fcntl(descriptor, F_SETFL, ::fcntl(descriptor, F_GETFL) | O_NONBLOCK);
  const std::string block(65536, 'f');
  std::size_t sent = 0;
  for (;;) {
    const ssize_t count = ::send(descriptor, block.data(), block.size(), MSG_NOSIGNAL);
    if (count <= 0) return sent;
    sent += static_cast<std::size_t>(count);
  }
}

// A peer that sends faster than the display takes it: the session stops
// reading once the backlog is full, so the bytes wait in the connection (the
// peer cannot send more) rather than in memory, reading resumes as the
// display catches up, and hanging up still ends the conversation.
TEST(ChatSession, AFloodingPeerWaitsWhileTheDisplayIsBehind) {
  int pair[2];
  ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
  auto mine = std::make_shared<CNetSocket>();
  mine->Adopt(pair[0]);
  const int peer = pair[1];
  test::RecordingReporter reporter;
  RecordingChat events;
  CChatSession session(mine, events, reporter, std::chrono::milliseconds(200));
  ASSERT_TRUE(session.Start());
  std::size_t sent = 0;
  ASSERT_TRUE(test::WaitUntil([&] {
    sent += SendUntilFull(peer);
    return events.Received().size() >= kChatReceiveBacklog;
  }));
  // Once the connection's buffers are full again nothing more is read.
  sent += SendUntilFull(peer);
  const std::size_t held = events.Received().size();
  EXPECT_LT(held, kChatReceiveBacklog + kChatSocketBuffer);
  EXPECT_GT(sent, held);

  session.Consumed(held);
  ASSERT_TRUE(test::WaitUntil([&] { return events.Received().size() > held; }));

  session.HangUp();
  ASSERT_TRUE(test::WaitUntil([&] { return session.Ended(); }));
  EXPECT_EQ(events.ended, 1);
  EXPECT_TRUE(reporter.Messages().empty());
  ::close(peer);
}

// Starts real threads until `allowed` have started, then refuses.
class CThreadsUpTo : public IThreadLauncher {
 public:
  explicit CThreadsUpTo(int allowed) : allowed_(allowed) {}
  std::jthread Launch(Work work) override {
    if (allowed_ == 0) return refusing_.Launch(std::move(work));
    --allowed_;
    return SystemThreads().Launch(std::move(work));
  }

 private:
  int allowed_;
  CRefusingThreads refusing_;
};

// However many of its threads started, a conversation that cannot have all
// three says so, hangs up through both phases and leaves the peer at the end
// of the stream rather than waiting on a connection nobody serves.
TEST(ChatSession, ARefusedThreadEndsTheConversationWithAMessage) {
  for (int allowed = 0; allowed < 3; ++allowed) {
    test::RecordingReporter reporter;
    Call call;
    RecordingChat events;
    CThreadsUpTo threads(allowed);
    CChatSession session(std::move(call.caller), events, reporter, kChatHangUpGrace, threads);
    EXPECT_FALSE(session.Start()) << allowed;
    EXPECT_TRUE(session.Ended());
    EXPECT_EQ(events.hangingUp, 1);
    EXPECT_EQ(events.ended, 1);
    EXPECT_FALSE(session.Send("late"));
    const auto messages = reporter.Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].source, kSourceSystemMessage);
    EXPECT_EQ(messages[0].text, kNoThreadText);
    char byte = 0;
    const SocketCount got = call.callee->Recv(&byte, 1);
    EXPECT_TRUE(!got || got.bytes == 0);
  }
}

TEST(ChatAttention, ManyChunksGiveOneSignalPerQuietTime) {
  CAttentionGate gate(std::chrono::seconds(3));
  const auto start = std::chrono::steady_clock::time_point{} + std::chrono::hours(1);
  int signals = 0;
  for (int i = 0; i < 1000; ++i)
    signals += gate.Allow(start + std::chrono::milliseconds(i)) ? 1 : 0;
  EXPECT_EQ(signals, 1);
  EXPECT_TRUE(gate.Allow(start + std::chrono::seconds(4)));
}

}  // namespace
}  // namespace netrove

namespace netrove {
namespace {

// netrove-cli chat with its input from a file: each line one message, the end
// of input the hang-up.
test::CliRun ChatFromFile(const std::string& input, std::uint16_t port) {
  test::ScopedHome home;
  const auto typed = std::filesystem::path(home.path()) / "typed.txt";
  std::ofstream(typed) << input;
  const auto out = std::filesystem::path(home.path()) / "out.txt";
  const auto err = std::filesystem::path(home.path()) / "err.txt";
  std::vector<std::string> args{NETROVE_CLI_PROGRAM, "chat",
                                std::string("127.0.0.1:").append(std::to_string(port))};
  std::vector<char*> argv;
  for (auto& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, typed.c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  pid_t pid = 0;
  test::CliRun run;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
    int status = 0;
    waitpid(pid, &status, 0);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  posix_spawn_file_actions_destroy(&actions);
  run.out = test::ReadFile(out);
  run.err = test::ReadFile(err);
  return run;
}

TEST(CliChat, SendsEachLineAndPrintsWhatArrivesUntilBothSidesEnd) {
  test::CScriptedServer peer;
  peer.Start(
      test::Script().Accept().Expect("hi there\r\n\r\n").Send("yo\r\n").ExpectClosed().Close());
  const auto run = ChatFromFile("hi there\n", peer.port());
  EXPECT_TRUE(peer.Finished());
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "yo\r\n : The remote host has shut down the connection!\r\n");
}

}  // namespace
}  // namespace netrove
