// netrove-icmp-helper: the requests it accepts, and the real program handing
// out raw ICMP sockets while it keeps no capability but CAP_NET_RAW.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "base/net_socket.h"
#include "diagnostics/icmp_helper_client.h"
#include "diagnostics/icmp_helper_protocol.h"
#include "diagnostics/icmp_socket.h"
#include "support/scoped_home.h"

namespace netrove {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(IcmpHelperProtocol, AcceptsOnlyTheRequestsItKnows) {
  for (const IcmpHelperFamily family : {IcmpHelperFamily::IPv4, IcmpHelperFamily::IPv6}) {
    const IcmpHelperMessage encoded = EncodeIcmpHelperRequest({family});
    const auto parsed = ParseIcmpHelperRequest(encoded);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->family, family);
  }
  const std::vector<Bytes> refused = {
      {},
      {1, 1, 4},        // short
      {1, 1, 4, 0, 0},  // long
      {2, 1, 4, 0},     // another version
      {1, 2, 4, 0},     // another operation
      {1, 1, 5, 0},     // an unknown family
      {1, 1, 17, 0},    // a protocol number is not a family
      {1, 1, 4, 1},     // the spare byte set
  };
  for (const Bytes& request : refused)
    EXPECT_FALSE(ParseIcmpHelperRequest(request)) << ::testing::PrintToString(request);
}

TEST(IcmpHelperProtocol, AnswersKeepTheErrorAndRefuseContradictions) {
  const auto granted = ParseIcmpHelperAnswer(EncodeIcmpHelperAnswer({true, 0}));
  ASSERT_TRUE(granted);
  EXPECT_TRUE(granted->granted);
  const auto refused = ParseIcmpHelperAnswer(EncodeIcmpHelperAnswer({false, EPERM}));
  ASSERT_TRUE(refused);
  EXPECT_FALSE(refused->granted);
  EXPECT_EQ(refused->errnoValue, EPERM);
  // A refusal always says why, even when the caller passed no reason.
  EXPECT_NE(ParseIcmpHelperAnswer(EncodeIcmpHelperAnswer({false, 0}))->errnoValue, 0);
  EXPECT_FALSE(ParseIcmpHelperAnswer(Bytes{1, 0, 0, 1}));  // granted with an error
  EXPECT_FALSE(ParseIcmpHelperAnswer(Bytes{1, 1, 0, 0}));  // refused without one
  EXPECT_FALSE(ParseIcmpHelperAnswer(Bytes{1, 0, 0}));
}

// Points the client at a helper for one test.
class ScopedHelperPath {
 public:
  explicit ScopedHelperPath(const std::string& path) {
    setenv("NETROVE_ICMP_HELPER", path.c_str(), 1);
  }
  ~ScopedHelperPath() { setenv("NETROVE_ICMP_HELPER", NETROVE_ICMP_HELPER_PROGRAM, 1); }
  ScopedHelperPath(const ScopedHelperPath&) = delete;
  ScopedHelperPath& operator=(const ScopedHelperPath&) = delete;
};

class InspectedSocket : public CNetSocket {
 public:
  int Option(int option) {
    int value = -1;
    static_cast<void>(GetIntOption(option, value));
    return value;
  }
};

TEST(IcmpHelper, HandsOverRawSocketsOfBothFamilies) {
  NETROVE_REQUIRE_PRIVILEGE();
  const ScopedHelperPath helper(NETROVE_ICMP_HELPER_PROGRAM);
  InspectedSocket v4;
  ASSERT_TRUE(OpenRawIcmpThroughHelper(IcmpHelperFamily::IPv4, v4));
  EXPECT_EQ(v4.Option(SO_TYPE), SOCK_RAW);
  EXPECT_EQ(v4.Option(SO_PROTOCOL), IPPROTO_ICMP);
  EXPECT_EQ(v4.Option(SO_DOMAIN), AF_INET);
  InspectedSocket v6;
  ASSERT_TRUE(OpenRawIcmpThroughHelper(IcmpHelperFamily::IPv6, v6));
  EXPECT_EQ(v6.Option(SO_PROTOCOL), IPPROTO_ICMPV6);
  EXPECT_EQ(v6.Option(SO_DOMAIN), AF_INET6);
}

TEST(IcmpHelper, WithoutAHelperThePermissionProblemIsReported) {
  const ScopedHelperPath helper("/nonexistent/netrove-icmp-helper");
  CNetSocket socket;
  EXPECT_EQ(OpenRawIcmpThroughHelper(IcmpHelperFamily::IPv4, socket).error, WSAEACCES);
  EXPECT_NE(
      MissingIcmpPrivilegeText().find("setcap cap_net_raw+ep /nonexistent/netrove-icmp-helper"),
      std::string::npos);
}

// The helper started by hand, to speak to it as a hostile caller would.
class StartedHelper {
 public:
  StartedHelper() {
    int ends[2];
    EXPECT_EQ(socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends), 0);
    channel_ = ends[0];
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, ends[1], STDIN_FILENO);
    char* argv[] = {const_cast<char*>(NETROVE_ICMP_HELPER_PROGRAM), nullptr};
    char* environment[] = {nullptr};
    EXPECT_EQ(posix_spawn(&pid_, argv[0], &actions, nullptr, argv, environment), 0);
    posix_spawn_file_actions_destroy(&actions);
    close(ends[1]);
  }
  ~StartedHelper() {
    if (channel_ >= 0) close(channel_);
    if (pid_ > 0) static_cast<void>(ExitStatus());
  }
  StartedHelper(const StartedHelper&) = delete;
  StartedHelper& operator=(const StartedHelper&) = delete;

  void Send(const Bytes& bytes) {
    ASSERT_EQ(send(channel_, bytes.data(), bytes.size(), 0), static_cast<ssize_t>(bytes.size()));
  }
  // The answer's bytes; `descriptor` is what came with it, or -1.
  Bytes Receive(int& descriptor) {
    Bytes answer(16);
    iovec part{answer.data(), answer.size()};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))]{};
    msghdr header{};
    header.msg_iov = &part;
    header.msg_iovlen = 1;
    header.msg_control = control;
    header.msg_controllen = sizeof control;
    const ssize_t got = recvmsg(channel_, &header, MSG_CMSG_CLOEXEC);
    descriptor = -1;
    if (const cmsghdr* rights = CMSG_FIRSTHDR(&header); rights && rights->cmsg_type == SCM_RIGHTS)
      std::memcpy(&descriptor, CMSG_DATA(rights), sizeof descriptor);
    answer.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    return answer;
  }
  // Hangs up and collects the helper's exit status.
  int ExitStatus() {
    if (channel_ >= 0) close(channel_);
    channel_ = -1;
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    pid_ = 0;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  std::string Status() const {
    std::ifstream file("/proc/" + std::to_string(pid_) + "/status");
    return std::string(std::istreambuf_iterator<char>(file), {});
  }

 private:
  int channel_ = -1;
  pid_t pid_ = 0;
};

std::string StatusField(const std::string& status, const std::string& name) {
  const auto at = status.find("\n" + name + ":");
  if (at == std::string::npos) return {};
  const auto begin = status.find_first_not_of(" \t", at + name.size() + 2);
  return status.substr(begin, status.find('\n', begin) - begin);
}

TEST(IcmpHelper, KeepsOnlyTheRawSocketPrivilegeWhileServing) {
  NETROVE_REQUIRE_PRIVILEGE();
  StartedHelper helper;
  const IcmpHelperMessage request = EncodeIcmpHelperRequest({IcmpHelperFamily::IPv4});
  helper.Send(Bytes(request.begin(), request.end()));
  int descriptor = -1;
  const Bytes answer = helper.Receive(descriptor);
  ASSERT_TRUE(ParseIcmpHelperAnswer(answer) && ParseIcmpHelperAnswer(answer)->granted);
  ASSERT_GE(descriptor, 0);
  close(descriptor);
  // Started by root, it had every capability; serving, it holds CAP_NET_RAW
  // (bit 13) alone and can gain nothing by exec.
  const std::string status = helper.Status();
  EXPECT_EQ(StatusField(status, "CapEff"), "0000000000002000");
  EXPECT_EQ(StatusField(status, "CapPrm"), "0000000000002000");
  EXPECT_EQ(StatusField(status, "CapInh"), "0000000000000000");
  EXPECT_EQ(StatusField(status, "CapAmb"), "0000000000000000");
  EXPECT_EQ(StatusField(status, "NoNewPrivs"), "1");
  EXPECT_EQ(helper.ExitStatus(), 0);  // hanging up ends it
}

TEST(IcmpHelper, AMalformedRequestIsRefusedWithoutASocketAndEndsTheHelper) {
  for (const Bytes& request :
       {Bytes{1, 1, 4}, Bytes{1, 1, 41, 0}, Bytes(200, 1), Bytes{1, 1, 4, 0, 0}}) {
    StartedHelper helper;
    helper.Send(request);
    int descriptor = -1;
    const auto answer = ParseIcmpHelperAnswer(helper.Receive(descriptor));
    ASSERT_TRUE(answer) << ::testing::PrintToString(request);
    EXPECT_FALSE(answer->granted);
    EXPECT_EQ(answer->errnoValue, EINVAL);
    EXPECT_EQ(descriptor, -1);
    EXPECT_EQ(helper.ExitStatus(), 2);
  }
}

}  // namespace
}  // namespace netrove
