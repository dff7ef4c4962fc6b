#include "config/server_params.h"

#include "platform/text.h"

std::string MakeServerKey(const ServerParams& params) {
  std::string key = params.host + "|" + params.url + "|" + std::to_string(params.port);
  // An HTTP source keeps the key it always had.
  if (params.scheme == HttpScheme::kHttps) key += "|https";
  return key;
}

HttpScheme SchemeFromText(std::string_view text) {
  return Lower(text) == "https" ? HttpScheme::kHttps : HttpScheme::kHttp;
}

std::string_view SchemeText(HttpScheme scheme) {
  switch (scheme) {
    case HttpScheme::kHttps:
      return "https";
    case HttpScheme::kHttp:
    default:
      return "http";
  }
}
