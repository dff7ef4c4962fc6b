#include "monitor/measurement_key.h"

#include "monitor/trim_host.h"

void MakeMeasurementKey(const char* identifier, const char* host_text, MeasurementKey* out) {
  const std::string_view id = identifier == nullptr ? "" : identifier;
  out->host.assign(TrimHost(host_text == nullptr ? "" : host_text).substr(0, kMaxKeyLength));
  const std::size_t bar = id.find('|');
  out->has_bar = bar != std::string_view::npos;
  if (out->has_bar) {
    out->key.assign(id.substr(0, kMaxKeyLength));
    out->counter_name.assign(id.substr(0, std::min(bar, kMaxKeyLength)));
  } else {
    out->counter_name.assign(id.substr(0, kMaxKeyLength));
    out->key.assign(out->counter_name);
    out->key += '|';
    out->key += out->host;
  }
}
