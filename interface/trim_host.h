// The host name of a host text as the host passes it: the text before its first ':' (so a
// "name:port" loses its port). A bracketed IPv6 literal ("[::1]:8080") keeps its brackets and
// is cut after the closing one.
#pragma once

#include <string>
#include <string_view>

std::string TrimHost(std::string_view host_text);
