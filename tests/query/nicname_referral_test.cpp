// WhoIs referrals: the lines that name another server, and queries that
// follow them through scripted servers on the loopback.
#include "query/nicname_referral.h"

#include <gtest/gtest.h>

#include <string>

#include "query/query_engine_harness.h"
#include "support/scripted_server.h"

namespace netrove {
namespace {

using test::CScriptedServer;
using test::QueryHarness;
using test::Script;

std::string At(const CScriptedServer& server) {
  return "127.0.0.1:" + std::to_string(server.port());
}

QueryRequest Following(const CScriptedServer& first) {
  QueryRequest request{"127.0.0.1", first.port(), "example.test\r\n"};
  request.followReferrals = true;
  return request;
}

TEST(WhoIsReferrals, TheThreeKindsOfLineAndNothingElseNameAServer) {
  EXPECT_EQ(WhoIsReferralOf("refer:        whois.verisign-grs.com"), "whois.verisign-grs.com");
  EXPECT_EQ(WhoIsReferralOf("whois:        whois.nic.example\r"), "whois.nic.example");
  EXPECT_EQ(WhoIsReferralOf("   Registrar WHOIS Server: whois://whois.markmonitor.com/"),
            "whois.markmonitor.com");
  EXPECT_EQ(WhoIsReferralOf("REFER: [::1]:4343"), "[::1]:4343");
  EXPECT_EQ(WhoIsReferralOf("refer:"), std::nullopt);
  EXPECT_EQ(WhoIsReferralOf("refer: http://example.test/whois"), std::nullopt);
  EXPECT_EQ(WhoIsReferralOf("refer: a host; rm -rf"), std::nullopt);
  EXPECT_EQ(WhoIsReferralOf("Registrar URL: http://example.test"), std::nullopt);
  EXPECT_EQ(WhoIsReferralOf("% refer: whois.example"), std::nullopt);

  // Lines split across receives are joined; the first referral counts; an
  // over-long line is skipped whole; the last line needs no line end.
  CWhoIsReferralFinder finder;
  finder.Feed("domain: X\nref");
  finder.Feed("er: whois.one.test\r\nrefer: whois.two.test\n");
  EXPECT_EQ(finder.Referral(), "whois.one.test");
  CWhoIsReferralFinder longLine;
  longLine.Feed("refer: whois." + std::string(600, 'a') + ".test\nwhois: whois.las");
  longLine.Feed("t.test");
  EXPECT_EQ(longLine.Referral(), "whois.last.test");
}

TEST(WhoIsReferrals, AThreeHopReferralShowsEachAnswerUnderItsServerAndStopsThere) {
  CScriptedServer registrar;
  CScriptedServer registry;
  CScriptedServer iana;
  // A fourth server is named but never asked: three servers in all.
  registrar.Start(Script()
                      .Accept()
                      .Expect("example.test\r\n")
                      .Send("Registrant: Example\nrefer: 127.0.0.1:1\n")
                      .Close());
  registry.Start(Script()
                     .Accept()
                     .Expect("example.test\r\n")
                     .Send("Domain Name: EXAMPLE.TEST\n   Registrar WHOIS Server: whois://" +
                           At(registrar) + "/\n")
                     .Close());
  iana.Start(
      Script()
          .Accept()
          .Expect("example.test\r\n")
          .Send("% IANA WHOIS server\n\nrefer:        " + At(registry) + "\n\ndomain:       TEST\n")
          .Close());
  QueryHarness harness;
  ASSERT_TRUE(harness.Run(Following(iana)));
  EXPECT_TRUE(iana.Finished());
  EXPECT_TRUE(registry.Finished());
  EXPECT_TRUE(registrar.Finished());
  EXPECT_EQ(harness.transcript.Text(),
            "[" + At(iana) + "]\r\n% IANA WHOIS server\r\n\r\nrefer:        " + At(registry) +
                "\r\n\r\ndomain:       TEST\r\n\r\n\r\n" + "[" + At(registry) +
                "]\r\nDomain Name: EXAMPLE.TEST\r\n   Registrar WHOIS Server: whois://" +
                At(registrar) + "/\r\n\r\n\r\n" + "[" + At(registrar) +
                "]\r\nRegistrant: Example\r\nrefer: 127.0.0.1:1\r\n\r\n\r\n" +
                "[Referral to 127.0.0.1:1 not followed: 3 servers asked.]\r\n");
  EXPECT_EQ(harness.engine.Outcome(), QueryOutcome::Answered);
  EXPECT_TRUE(harness.reporter.Messages().empty());

  // Stopping at the first answer: the classic transcript, no heading.
  CScriptedServer alone;
  alone.Start(Script().Accept().Expect("example.test\r\n").Send("refer: 127.0.0.1:1\n").Close());
  QueryRequest first = Following(alone);
  first.followReferrals = false;
  QueryHarness plain;
  ASSERT_TRUE(plain.Run(first));
  EXPECT_EQ(plain.transcript.Text(), "refer: 127.0.0.1:1\r\n\r\n\r\n");
}

TEST(WhoIsReferrals, AReferralLoopStopsAtTheServerAskedAlready) {
  CScriptedServer first;
  CScriptedServer second;
  second.Start(
      Script().Accept().Expect("example.test\r\n").Send("whois: " + At(first) + "\n").Close());
  first.Start(
      Script().Accept().Expect("example.test\r\n").Send("REFER: " + At(second) + "\n").Close());
  QueryHarness harness;
  ASSERT_TRUE(harness.Run(Following(first)));
  EXPECT_TRUE(first.Finished());
  EXPECT_TRUE(second.Finished());
  EXPECT_EQ(harness.transcript.Text(),
            "[" + At(first) + "]\r\nREFER: " + At(second) + "\r\n\r\n\r\n[" + At(second) +
                "]\r\nwhois: " + At(first) + "\r\n\r\n\r\n[Referral to " + At(first) +
                " not followed: asked already.]\r\n");
  EXPECT_EQ(harness.engine.Outcome(), QueryOutcome::Answered);
}

}  // namespace
}  // namespace netrove
