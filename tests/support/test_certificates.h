#pragma once
// A throw-away certificate authority and server certificates, made when a
// test runs (nothing secret is ever committed): valid, expired, for another
// name, self-signed. Files are PEM in the given folder.
//
//   test::CTestCertificates pki(folder);
//   auto valid = pki.Issue("valid", {"localhost", "127.0.0.1"});
//   TlsClientOptions options{.host = "localhost", .caFile = pki.caFile()};
#include <filesystem>
#include <string>
#include <vector>

namespace netrove::test {

struct IssuedCertificate {
  std::filesystem::path certificate;  // the server's certificate, then the CA's
  std::filesystem::path key;
  std::string sha256;  // "AB:CD:..." of the server's certificate
};

struct Validity {
  long fromSeconds = -3600;  // relative to now
  long untilSeconds = 30L * 24 * 3600;
};

class CTestCertificates {
 public:
  explicit CTestCertificates(std::filesystem::path folder);
  ~CTestCertificates();
  CTestCertificates(const CTestCertificates&) = delete;
  CTestCertificates& operator=(const CTestCertificates&) = delete;

  const std::filesystem::path& caFile() const { return caFile_; }
  // A certificate for `names` (host names, or IPv4/IPv6 addresses) signed by
  // the test CA, or by its own key when `selfSigned`.
  IssuedCertificate Issue(const std::string& label, const std::vector<std::string>& names,
                          Validity validity = {}, bool selfSigned = false);

 private:
  std::filesystem::path folder_;
  std::filesystem::path caFile_;
  void* caKey_ = nullptr;          // EVP_PKEY
  void* caCertificate_ = nullptr;  // X509
  long serial_ = 1;
};

}  // namespace netrove::test
