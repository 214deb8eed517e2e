#include <gtest/gtest.h>
#include <netdb.h>

#include <cerrno>
#include <string>
#include <vector>

#include "base/net_socket.h"
#include "base/tool_message.h"
#include "support/recording_reporter.h"

namespace netrove {
namespace {

TEST(ReportSocketError, SendsTheTextToTheWinSockSourceAndReturnsTheCode) {
  test::RecordingReporter reporter;
  EXPECT_EQ(ReportSocketError(reporter, WSAECONNREFUSED), WSAECONNREFUSED);
  EXPECT_EQ(ReportSocketError(reporter, 0), 0);
  EXPECT_EQ(ReportSocketError(reporter, 10001), 10001);
  EXPECT_EQ(ReportSocketError(reporter, WSANO_DATA), WSANO_DATA);

  const auto messages = reporter.Messages();
  ASSERT_EQ(messages.size(), 4u);
  for (const auto& message : messages) EXPECT_EQ(message.source, kSourceWinSock);
  EXPECT_EQ(messages[0].text, "WSAECONNREFUSED\nThe attempt to connect was rejected.");
  EXPECT_EQ(messages[1].text, "Unknown error: 0");
  EXPECT_EQ(messages[2].text, "Unknown error: 10001");
  EXPECT_EQ(messages[3].text,
            "WSANO_DATA\nThe requested name is valid, but does not have an Internet IP address at "
            "the name server. This is not a temporary error. This means another type of request "
            "to the name server will result in an answer.");
}

TEST(ReportSocketError, TheBaseOfTheRangeShowsNothing) {
  test::RecordingReporter reporter;
  EXPECT_EQ(ReportSocketError(reporter, 10000), 10000);
  EXPECT_TRUE(reporter.Messages().empty());
  EXPECT_EQ(SocketErrorText(10000), "");
}

TEST(SocketErrorText, EveryKnownCodeIsItsNameALineFeedAndASentence) {
  int known = 0;
  for (int code = 10001; code <= 11010; ++code) {
    const std::string text = SocketErrorText(code);
    if (text.rfind("Unknown error: ", 0) == 0) {
      EXPECT_EQ(text, "Unknown error: " + std::to_string(code));
      continue;
    }
    ++known;
    EXPECT_EQ(text.rfind("WSA", 0), 0u) << code;
    const auto lineFeed = text.find('\n');
    ASSERT_NE(lineFeed, std::string::npos) << code;
    EXPECT_EQ(text.find('\n', lineFeed + 1), std::string::npos) << code;
    EXPECT_EQ(text.back(), '.') << code;
  }
  EXPECT_EQ(known, 50);
  EXPECT_EQ(SocketErrorText(WSAEINTR), "WSAEINTR\nInterrupted system call.");
  EXPECT_EQ(SocketErrorText(10059), "WSAETOOMANYREFS\nToo many references, can't splice.");
  EXPECT_EQ(SocketErrorText(-1), "Unknown error: -1");
}

TEST(WinsockErrorMapping, ErrnoValuesMapToTheirWinsockCounterparts) {
  const std::pair<int, int> cases[] = {
      {ECONNREFUSED, 10061},  {ETIMEDOUT, 10060},    {EADDRINUSE, 10048},  {EACCES, 10013},
      {EPERM, 10013},         {EINTR, 10004},        {EBADF, 10038},       {ENOTSOCK, 10038},
      {ENETUNREACH, 10051},   {EHOSTUNREACH, 10065}, {ECONNRESET, 10054},  {ECONNABORTED, 10053},
      {EMSGSIZE, 10040},      {ENOBUFS, 10055},      {EWOULDBLOCK, 10035}, {ENOTCONN, 10057},
      {EADDRNOTAVAIL, 10049}, {EAFNOSUPPORT, 10047}, {EPIPE, 10054},       {EINVAL, 10022},
  };
  for (const auto& [errnoValue, code] : cases) {
    EXPECT_EQ(WinsockErrorFromErrno(errnoValue), code) << errnoValue;
  }
  EXPECT_EQ(WinsockErrorFromErrno(0), 0);
  EXPECT_EQ(WinsockErrorFromErrno(EDOM), EDOM) << "no counterpart: unchanged";
}

TEST(WinsockErrorMapping, ResolverResultsMapToTheHostErrors) {
  EXPECT_EQ(WinsockErrorFromResolver(0), 0);
  EXPECT_EQ(WinsockErrorFromResolver(EAI_NONAME), WSAHOST_NOT_FOUND);
  EXPECT_EQ(WinsockErrorFromResolver(EAI_AGAIN), WSATRY_AGAIN);
  EXPECT_EQ(WinsockErrorFromResolver(EAI_FAIL), WSANO_RECOVERY);
  EXPECT_EQ(WinsockErrorFromResolver(EAI_NODATA), WSANO_DATA);
  EXPECT_EQ(WinsockErrorFromResolver(EAI_ADDRFAMILY), WSANO_DATA);
  errno = ECONNREFUSED;
  EXPECT_EQ(WinsockErrorFromResolver(EAI_SYSTEM), WSAECONNREFUSED);
}

TEST(ReportSocketError, AStatusIsReportedUnlessItSucceededOrTheUserInterrupted) {
  test::RecordingReporter reporter;
  EXPECT_EQ(ReportSocketError(reporter, SocketStatus{}), 0);
  EXPECT_EQ(ReportSocketError(reporter, SocketStatus{WSAEINTR}), WSAEINTR);
  EXPECT_EQ(ReportSocketError(reporter, SocketStatus{WSAENOTSOCK}), WSAENOTSOCK);
  EXPECT_EQ(ReportSocketError(reporter, SocketStatus{WSABASEERR}), WSABASEERR);
  EXPECT_EQ(ReportSocketError(reporter, SocketCount{0, WSAETIMEDOUT}), WSAETIMEDOUT);
  EXPECT_EQ(ReportSocketError(reporter, SocketCount{12, 0}), 0);
  EXPECT_EQ(reporter.Texts(), std::vector<std::string>{SocketErrorText(WSAETIMEDOUT)});
}

}  // namespace
}  // namespace netrove
