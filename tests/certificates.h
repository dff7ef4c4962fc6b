// Certificates for the TLS tests, made by the openssl program: self-signed pairs (an EC P-256 key
// and a certificate valid for two days) in a directory the test owns.
#pragma once

#include <optional>
#include <string>
#include <vector>

struct CertificatePair {
  std::string certificate;  // PEM certificate file
  std::string key;          // PEM private key file
};

// Makes `directory`/`name`.crt and `name`.key, a certificate whose subject names `alt_name` ("IP:127.0.0.1",
// "DNS:stats.example") both as its common name and as its one subject alternative name. Nothing when the
// openssl program fails (its messages are in `directory`/`name`.log).
std::optional<CertificatePair> MakeSelfSignedPair(const std::string& directory, const std::string& name,
                                                  const std::string& alt_name);

// Writes the certificates of `pairs` one after the other into `path`, a bundle of trusted certificates.
bool WriteCertificateBundle(const std::string& path, const std::vector<CertificatePair>& pairs);
