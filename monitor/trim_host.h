// The host name of a host text as the host passes it: the text before its first ':' (so a
// "name:port" loses its port). A bracketed IPv6 literal ("[::1]:8080") keeps its brackets and
// is cut after the closing one. The result views the caller's text.
#pragma once

#include <string_view>

std::string_view TrimHost(std::string_view host_text);
