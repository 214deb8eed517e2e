// The pinned-certificates file: what is found for which server, and pins
// made at once by several writers all kept.
#include "base/certificate_pins.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "support/scoped_home.h"

namespace netrove {
namespace {

std::string FingerprintOf(int n) {
  char hex[3];
  std::snprintf(hex, sizeof hex, "%02X", n);
  std::string text;
  for (int i = 0; i < 32; ++i) text += (i ? ":" : "") + std::string(hex);
  return text;
}

TEST(CertificatePins, ServersArePinnedByHostAndPortAndReplacedInPlace) {
  test::ScopedHome home;
  const auto file = PinnedCertificatesFile();
  {
    std::ofstream out(file);
    out << "# pinned by hand\nnews.test " << FingerprintOf(1) << "\nbroken line\n";
  }
  EXPECT_EQ(FindPinnedCertificate(file, "news.test", 563), FingerprintOf(1));  // any port
  EXPECT_FALSE(FindPinnedCertificate(file, "mail.test", 465));
  ASSERT_EQ(PinCertificate(file, "news.test", 563, FingerprintOf(2)), "");
  ASSERT_EQ(PinCertificate(file, "::1", 465, FingerprintOf(3)), "");
  ASSERT_EQ(PinCertificate(file, "::1", 465, FingerprintOf(4)), "");
  EXPECT_EQ(FindPinnedCertificate(file, "news.test", 563), FingerprintOf(2));
  EXPECT_EQ(FindPinnedCertificate(file, "news.test", 119), FingerprintOf(1));
  EXPECT_EQ(FindPinnedCertificate(file, "::1", 465), FingerprintOf(4));
  EXPECT_NE(PinCertificate(file, "x", 1, "not-a-fingerprint"), "");
  std::ifstream in(file);
  const std::string text((std::istreambuf_iterator<char>(in)), {});
  EXPECT_NE(text.find("# pinned by hand\n"), std::string::npos);
  EXPECT_NE(text.find("[::1]:465 " + FingerprintOf(4)), std::string::npos);
  EXPECT_EQ(text.find(FingerprintOf(3)), std::string::npos);
}

TEST(CertificatePins, SimultaneousPinsAreAllKept) {
  test::ScopedHome home;
  const auto file = PinnedCertificatesFile();
  constexpr int kWriters = 12;
  std::vector<std::thread> writers;
  for (int i = 0; i < kWriters; ++i)
    writers.emplace_back([&, i] {
      EXPECT_EQ(PinCertificate(file, "host" + std::to_string(i), 443, FingerprintOf(i)), "");
    });
  for (auto& writer : writers) writer.join();
  for (int i = 0; i < kWriters; ++i)
    EXPECT_EQ(FindPinnedCertificate(file, "host" + std::to_string(i), 443), FingerprintOf(i));
}

}  // namespace
}  // namespace netrove
