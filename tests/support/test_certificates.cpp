#include "test_certificates.h"

#include <arpa/inet.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509v3.h>

#include <cstdio>
#include <stdexcept>

namespace netrove::test {
namespace {

EVP_PKEY* NewKey() { return EVP_EC_gen("P-256"); }

void AddExtension(X509* certificate, X509* issuer, int nid, const std::string& value) {
  X509V3_CTX context;
  X509V3_set_ctx(&context, issuer, certificate, nullptr, nullptr, 0);
  X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value.c_str());
  if (extension == nullptr) throw std::runtime_error("bad extension " + value);
  X509_add_ext(certificate, extension, -1);
  X509_EXTENSION_free(extension);
}

X509* NewCertificate(const std::string& commonName, EVP_PKEY* key, long serial, Validity validity) {
  X509* certificate = X509_new();
  X509_set_version(certificate, 2);
  ASN1_INTEGER_set(X509_get_serialNumber(certificate), serial);
  X509_gmtime_adj(X509_getm_notBefore(certificate), validity.fromSeconds);
  X509_gmtime_adj(X509_getm_notAfter(certificate), validity.untilSeconds);
  X509_set_pubkey(certificate, key);
  X509_NAME* name = X509_get_subject_name(certificate);
  X509_NAME_add_entry_by_txt(name, "O", MBSTRING_ASC,
                             reinterpret_cast<const unsigned char*>("Netrove Test"), -1, -1, 0);
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                             reinterpret_cast<const unsigned char*>(commonName.c_str()), -1, -1, 0);
  return certificate;
}

void WritePem(const std::filesystem::path& file, const std::vector<X509*>& certificates) {
  FILE* out = std::fopen(file.c_str(), "w");
  for (X509* each : certificates) PEM_write_X509(out, each);
  std::fclose(out);
}

void WriteKey(const std::filesystem::path& file, EVP_PKEY* key) {
  FILE* out = std::fopen(file.c_str(), "w");
  PEM_write_PrivateKey(out, key, nullptr, nullptr, 0, nullptr, nullptr);
  std::fclose(out);
}

std::string Fingerprint(X509* certificate) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  X509_digest(certificate, EVP_sha256(), digest, &length);
  std::string text;
  char hex[4];
  for (unsigned int i = 0; i < length; ++i) {
    std::snprintf(hex, sizeof hex, i == 0 ? "%02X" : ":%02X", digest[i]);
    text += hex;
  }
  return text;
}

bool IsAddress(const std::string& name) {
  unsigned char buffer[16];
  return inet_pton(AF_INET, name.c_str(), buffer) == 1 ||
         inet_pton(AF_INET6, name.c_str(), buffer) == 1;
}

}  // namespace

CTestCertificates::CTestCertificates(std::filesystem::path folder) : folder_(std::move(folder)) {
  std::filesystem::create_directories(folder_);
  EVP_PKEY* key = NewKey();
  X509* ca = NewCertificate("Netrove Test CA", key, serial_++, {-3600, 365L * 24 * 3600});
  X509_set_issuer_name(ca, X509_get_subject_name(ca));
  AddExtension(ca, ca, NID_basic_constraints, "critical,CA:TRUE");
  AddExtension(ca, ca, NID_key_usage, "critical,keyCertSign,cRLSign");
  AddExtension(ca, ca, NID_subject_key_identifier, "hash");
  X509_sign(ca, key, EVP_sha256());
  caFile_ = folder_ / "ca.pem";
  WritePem(caFile_, {ca});
  caKey_ = key;
  caCertificate_ = ca;
}

CTestCertificates::~CTestCertificates() {
  X509_free(static_cast<X509*>(caCertificate_));
  EVP_PKEY_free(static_cast<EVP_PKEY*>(caKey_));
}

IssuedCertificate CTestCertificates::Issue(const std::string& label,
                                           const std::vector<std::string>& names, Validity validity,
                                           bool selfSigned) {
  EVP_PKEY* key = NewKey();
  X509* certificate =
      NewCertificate(names.empty() ? label : names.front(), key, serial_++, validity);
  X509* ca = static_cast<X509*>(caCertificate_);
  X509* issuer = selfSigned ? certificate : ca;
  X509_set_issuer_name(certificate, X509_get_subject_name(issuer));
  std::string alternatives;
  for (const std::string& name : names) {
    if (!alternatives.empty()) alternatives += ',';
    alternatives += (IsAddress(name) ? "IP:" : "DNS:") + name;
  }
  if (!alternatives.empty()) AddExtension(certificate, issuer, NID_subject_alt_name, alternatives);
  AddExtension(certificate, issuer, NID_ext_key_usage, "serverAuth");
  X509_sign(certificate, selfSigned ? key : static_cast<EVP_PKEY*>(caKey_), EVP_sha256());

  IssuedCertificate issued;
  issued.certificate = folder_ / (label + ".pem");
  issued.key = folder_ / (label + ".key");
  if (selfSigned)
    WritePem(issued.certificate, {certificate});
  else
    WritePem(issued.certificate, {certificate, ca});
  WriteKey(issued.key, key);
  issued.sha256 = Fingerprint(certificate);
  X509_free(certificate);
  EVP_PKEY_free(key);
  return issued;
}

}  // namespace netrove::test
