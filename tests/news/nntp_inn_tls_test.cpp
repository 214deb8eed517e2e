// The NNTP connection against a private INN that speaks TLS (from the first
// byte on one port, by STARTTLS on the other) and lets only a signed-in
// reader read: certificates made for the run, a password checked by INN.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "inn_fixture.h"
#include "news/nntp_connection.h"
#include "news/nntp_recorder.h"
#include "support/recording_reporter.h"
#include "support/scoped_home.h"
#include "support/test_certificates.h"

namespace netrove {
namespace {

constexpr char kUser[] = "reader";
constexpr char kPassword[] = "s3cret-pass";

class NntpInnTlsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    NETROVE_REQUIRE_INN();
    pki_ = std::make_unique<test::CTestCertificates>(home_.path() / "pki");
    certificate_ = pki_->Issue("news", {"localhost", "127.0.0.1"});
    inn_ = std::make_unique<test::InnInstance>(
        test::InnSecurity{certificate_.certificate, certificate_.key, kUser, kPassword});
    ASSERT_TRUE(inn_->started()) << "the private INN did not start";
  }

  NntpSecurity Security(TlsMode mode, std::string password = kPassword) const {
    NntpSecurity security;
    security.mode = mode;
    security.tls.caFile = pki_->caFile();
    security.tls.timeoutMs = 10000;
    security.user = kUser;
    security.password = std::move(password);
    return security;
  }

  // Selects local.test over a connection secured as asked; the events tell
  // how it went.
  void SelectGroup(std::uint16_t port, const NntpSecurity& security, test::NntpRecorder& events,
                   bool* secured = nullptr) {
    CNNTPConnection connection(port, events, reporter_, "127.0.0.1");
    connection.SetSecurity(security);
    ASSERT_TRUE(connection.Start());
    ASSERT_EQ(connection.QueueCommand(kNntpGroup, "local.test"), QueueOutcome::Queued);
    ASSERT_TRUE(events.WaitFor([](const test::RecordedNntp& r) {
      return r.closed || !r.groups.empty() || !r.refusals.empty();
    }));
    if (secured) *secured = connection.Secured();
    connection.Disconnect();
    ASSERT_TRUE(events.WaitClosed());
  }

  test::ScopedHome home_;
  std::unique_ptr<test::CTestCertificates> pki_;
  test::IssuedCertificate certificate_;
  std::unique_ptr<test::InnInstance> inn_;
  test::RecordingReporter reporter_;
};

TEST_F(NntpInnTlsTest, SignsInOverImplicitTlsAndOverStartTls) {
  for (const TlsMode mode : {TlsMode::Implicit, TlsMode::Required, TlsMode::IfOffered}) {
    SCOPED_TRACE(std::string(TlsModeName(mode)));
    test::NntpRecorder events;
    bool secured = false;
    SelectGroup(mode == TlsMode::Implicit ? inn_->tlsPort() : inn_->port(), Security(mode), events,
                &secured);
    EXPECT_TRUE(secured);
    const test::RecordedNntp seen = events.Seen();
    ASSERT_EQ(seen.groups.size(), 1u);
    EXPECT_TRUE(seen.refusals.empty());
    EXPECT_EQ(seen.end, NntpEnd::Asked);
  }
  EXPECT_TRUE(reporter_.Texts().empty());
}

// A wrong password ends the connection with INN's refusal; no name at all
// leaves INN asking (480), which the user is told.
TEST_F(NntpInnTlsTest, RefusedPasswordAndMissingSignIn) {
  test::NntpRecorder wrong;
  SelectGroup(inn_->tlsPort(), Security(TlsMode::Implicit, "wrong"), wrong);
  {
    const test::RecordedNntp seen = wrong.Seen();
    EXPECT_EQ(seen.end, NntpEnd::Failed);
    ASSERT_EQ(seen.refusals.size(), 1u);
    EXPECT_EQ(seen.refusals[0].command, kNntpAuthPass);
    EXPECT_EQ(seen.refusals[0].reply.substr(0, 3), "481");
    EXPECT_TRUE(seen.groups.empty());
  }
  test::NntpRecorder anonymous;
  NntpSecurity nameless = Security(TlsMode::Required);
  nameless.user.clear();
  SelectGroup(inn_->port(), nameless, anonymous);
  const test::RecordedNntp seen = anonymous.Seen();
  ASSERT_EQ(seen.refusals.size(), 1u);
  EXPECT_EQ(seen.refusals[0].command, kNntpGroup);
  EXPECT_EQ(seen.refusals[0].reply.substr(0, 3), "480");
}

// A certificate from an issuer the system does not know is not trusted:
// the owner is shown it and nothing is signed in. Pinned, it is taken.
TEST_F(NntpInnTlsTest, UntrustedCertificateIsShownThenTakenWhenPinned) {
  NntpSecurity security = Security(TlsMode::Required);
  security.tls.caFile.clear();
  test::NntpRecorder refused;
  SelectGroup(inn_->port(), security, refused);
  test::RecordedNntp seen = refused.Seen();
  EXPECT_EQ(seen.end, NntpEnd::Failed);
  ASSERT_EQ(seen.untrusted.size(), 1u);
  EXPECT_EQ(seen.untrusted[0].certificate.sha256, certificate_.sha256);
  EXPECT_NE(seen.untrusted[0].problem, CertificateProblem::None);
  EXPECT_TRUE(seen.groups.empty());

  security.tls.pinnedSha256 = certificate_.sha256;
  test::NntpRecorder pinned;
  SelectGroup(
      inn_->tlsPort(),
      [&] {
        NntpSecurity implicit = security;
        implicit.mode = TlsMode::Implicit;
        return implicit;
      }(),
      pinned);
  seen = pinned.Seen();
  EXPECT_EQ(seen.groups.size(), 1u);
  EXPECT_TRUE(seen.untrusted.empty());
}

}  // namespace
}  // namespace netrove
