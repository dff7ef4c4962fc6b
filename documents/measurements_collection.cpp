#include "documents/measurements_collection.h"

#include "config/counter_config.h"

namespace {

std::string Escape(std::string_view text) {
  std::string escaped;
  escaped.reserve(text.size());
  for (const char c : text) {
    switch (c) {
      case '&': escaped += "&amp;"; break;
      case '<': escaped += "&lt;"; break;
      case '>': escaped += "&gt;"; break;
      case '"': escaped += "&quot;"; break;
      default: escaped += c; break;
    }
  }
  return escaped;
}

std::string Property(std::string_view name, std::string_view value) {
  return "<prop name=\"" + std::string(name) + "\"><value>" + Escape(value) + "</value></prop>";
}

}  // namespace

std::string ExpandInfoUrl(std::string_view info_url, std::string_view host) {
  std::string url;
  url.reserve(info_url.size() + host.size());
  for (std::size_t i = 0; i < info_url.size(); ++i) {
    if (info_url[i] == '%' && i + 1 < info_url.size() && (info_url[i + 1] == 's' || info_url[i + 1] == '%')) {
      if (info_url[i + 1] == 's') url += host;
      else url += '%';
      ++i;
    } else {
      url += info_url[i];
    }
  }
  return url;
}

std::string BuildMeasurementsCollection(std::span<const CounterDefinition> definitions, std::string_view host,
                                        const Profile& configuration) {
  std::string document = "<?xml version=\"1.0\" ?>\n<PerformanceMonitor>\n";
  for (const CounterDefinition& definition : definitions) {
    document += "<counter id=\"" + Escape(definition.counter) + "\" name=\"" + Escape(definition.label) +
                "\" desc=\"" + Escape(definition.description) + "\"/>\n";
  }
  const int port = configuration.GetInt(kSectionNetscape, kKeyServerPort, kDefaultServerPort);
  const std::string info_url = configuration.GetString(kSectionNetscape, kKeyInfoUrl, "", kServerTextBufferSize);
  document += "<monitorData>\n";
  document += Property("port", std::to_string(port));
  document += Property("URL", ExpandInfoUrl(info_url, host));
  document += "</monitorData>\n</PerformanceMonitor>\n";
  return document;
}
