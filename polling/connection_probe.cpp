#include "polling/connection_probe.h"

#include "polling/netscape_server.h"

int TestConnection(const ServerParams& params, const ProxySettings& proxy, HttpClient& http,
                   std::string* failure_text) {
  CNetscapeServer server(params, proxy, http);
  if (server.RunSingleCycle() == 0) return 0;
  (void)server.error_record().GetReport(failure_text);
  return 1;
}
