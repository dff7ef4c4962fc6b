#include "monitor/trim_host.h"

std::string_view TrimHost(std::string_view host_text) {
  if (!host_text.empty() && host_text.front() == '[') {
    const std::size_t close = host_text.find(']');
    if (close != std::string_view::npos) return host_text.substr(0, close + 1);
  }
  return host_text.substr(0, host_text.find(':'));
}
