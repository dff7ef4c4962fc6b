#include "tests/certificates.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

std::optional<CertificatePair> MakeSelfSignedPair(const std::string& directory, const std::string& name,
                                                  const std::string& alt_name) {
  const std::string base = directory + "/" + name;
  const std::string common_name = alt_name.substr(alt_name.find(':') + 1);
  const std::string command = "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2"
                              " -keyout '" + base + ".key' -out '" + base + ".crt' -subj '/CN=" + common_name +
                              "' -addext 'subjectAltName=" + alt_name + "' > '" + base + ".log' 2>&1";
  if (std::system(command.c_str()) != 0) return std::nullopt;
  return CertificatePair{base + ".crt", base + ".key"};
}

bool WriteCertificateBundle(const std::string& path, const std::vector<CertificatePair>& pairs) {
  std::ofstream bundle(path, std::ios::binary | std::ios::trunc);
  for (const CertificatePair& pair : pairs) {
    std::ifstream certificate(pair.certificate, std::ios::binary);
    std::stringstream text;
    text << certificate.rdbuf();
    if (!certificate || text.str().empty()) return false;
    bundle << text.str();
  }
  return static_cast<bool>(bundle.flush());
}
