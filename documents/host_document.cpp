#include "documents/host_document.h"

#include <cstring>

#include "config/counter_config.h"
#include "documents/measurements_collection.h"
#include "documents/user_data.h"

namespace {

// A fixed field of the host's record, up to its first NUL or its end.
template <std::size_t N>
std::string_view Field(const char (&field)[N]) {
  return std::string_view(field, strnlen(field, N));
}

}  // namespace

bool XmlDocReader::LoadText(std::string_view text) {
  loaded_ = document_.Parse(text).ok();
  return loaded_;
}

bool XmlDocReader::ReadPropValue(const std::string& path, std::string* value) const {
  value->clear();
  if (!loaded_) return false;
  const Result<std::string> text = document_.SelectText(path, "value");
  if (!text.ok()) return false;
  *value = *text;
  return true;
}

std::string ComposeUserData(const HostMachineRecord& machine, std::string_view document, const Profile& configuration) {
  std::string port_text;
  std::string url;
  XmlDocReader reader;
  if (reader.LoadText(document)) {
    const std::string base = "/PerformanceMonitor/monitorData/prop";
    if (!reader.ReadPropValue(base + "[@name='port']", &port_text)) port_text.clear();
    if (!reader.ReadPropValue(base + "[@name='URL']", &url)) url.clear();
  }
  const int port = port_text.empty() ? configuration.GetInt(kSectionNetscape, kKeyServerPort, kDefaultServerPort)
                                     : ParseLeadingInteger(port_text);
  if (url.empty()) {
    url = ExpandInfoUrl(configuration.GetString(kSectionNetscape, kKeyInfoUrl, "", kServerTextBufferSize),
                        Field(machine.host));
  }
  return FormatUserData(port, url, Field(machine.login), Field(machine.password), ReadServerScheme(configuration));
}
