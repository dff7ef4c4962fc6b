// How a statistics request reaches its web server: which texts are usable in an URL and a
// request line, whether the request goes through an HTTP proxy, and the request target the first
// hop expects. Pure functions over their arguments (SystemProxyCarries also reads the
// environment); any thread may call them.
#pragma once

#include <string>
#include <string_view>

#include "platform/http.h"

// Whether `host` can stand as the host of an URL: not empty, a bracketed IPv6 literal or a name
// or address without blanks, control characters or URL delimiters (so that no part of it can be
// taken for a user name, port, path or query).
bool HostFitsUrl(std::string_view host);

// Whether `target` can be sent in the request line as given: no CR, LF or NUL, which would end
// the line or the text early. Everything else the web server receives exactly as written.
bool TargetFitsRequestLine(std::string_view target);

// Whether `proxy` (a "host:port" or a proxy URL) names a proxy that receives HTTP requests
// itself: no scheme, "http://" or "https://". A SOCKS proxy only relays the connection, so the
// web server still receives the request as for a direct connection.
bool IsHttpProxy(std::string_view proxy);

// Whether `host` (as libcurl reads it from the URL; an IPv6 literal in brackets) is listed in
// `no_proxy`, matched the way libcurl matches its no_proxy setting: "*" alone lists every host;
// otherwise entries separated by commas (blanks around them allowed), a name matching itself and
// every name below it ("example.com" and ".example.com" both list "www.example.com", without
// regard to case or a trailing dot), an address matching itself or, with "/bits", its network.
bool NoProxyListsHost(std::string_view host, std::string_view no_proxy);

// Whether libcurl, left to read the environment, sends a request for `host` through an HTTP
// proxy: the proxy is the first non-empty of http_proxy, all_proxy and ALL_PROXY, the list of
// hosts reached directly the first non-empty of no_proxy and NO_PROXY. HTTP_PROXY is not read,
// as libcurl does not read it either (a CGI program gets it from a request header).
bool SystemProxyCarries(std::string_view host);

// The request target as sent to the first hop: the target as given ("/" when empty); when an
// HTTP proxy carries the request, a target starting with '/' becomes absolute,
// "http://host:port" + target, because a proxy has no other way to learn the web server. An
// absolute target stays as given.
std::string FirstHopTarget(const HttpRequestOptions& options, bool through_http_proxy);
