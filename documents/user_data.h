// The user-data string that carries a measurement's server properties between the host and
// the plug-in: "port|URL|login|password", fields unescaped, at most 1023 characters. An HTTPS
// source adds a fifth field: "port|URL|login|password|https". Readers of four fields ignore
// it, and the string of an HTTP source is exactly the four fields.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "config/server_params.h"
#include "platform/text.h"  // ParseLeadingInteger, the reader of the port

// Every holder of a user-data string has this many bytes, the terminating NUL included.
inline constexpr std::size_t kUserDataCapacity = 1024;

// Fills port, URL, login, password and scheme of `*params` from `user_data`; the host is left
// alone. The port is the leading integer of the text (ParseLeadingInteger: atoi's rules, white
// space, sign, digits; 0 when there are none); fields 2 to 4 are the texts between the bars,
// empty when missing; the fifth field names the scheme (SchemeFromText: "https" in any case is
// HTTPS; missing, empty, "http" or anything else is HTTP); text after a fifth bar is ignored.
// Only the first 1023 characters of the text are read.
void ParseUserData(std::string_view user_data, ServerParams* params);

// "port|url|login|password", cut to 1023 characters; with kHttps, "|https" follows, and the
// four fields give up room for it, so that a cut never drops the scheme.
std::string FormatUserData(std::int32_t port, std::string_view url, std::string_view login,
                           std::string_view password, HttpScheme scheme = HttpScheme::kHttp);
