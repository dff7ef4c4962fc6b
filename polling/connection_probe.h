// The connection test the host runs before it adds measurements for a machine: one fetch
// cycle on a throw-away server, on the calling thread, that leaves no trace in the registry.
#pragma once

#include <string>

#include "platform/http.h"
#include "polling/proxy_settings.h"
#include "config/server_params.h"

// Runs one fetch cycle for `params`. Returns 0 when it succeeded (the buffer text stays
// untouched), 1 when it failed, with the failure's text in `*failure_text`. The cycle ends after
// its first read, or is bounded by the send bound and the receive time-out.
int TestConnection(const ServerParams& params, const ProxySettings& proxy, HttpClient& http,
                   std::string* failure_text);
