// The Windows edition has no metrics endpoint (it is served by libmicrohttpd, which this edition
// does not carry): --listen is refused where it is read, with what to use instead.
#include "tools/host/metrics_endpoint.h"

namespace sarvik_host {

namespace {

constexpr char kNoEndpoint[] =
    "the metrics endpoint is not part of the Windows edition; read the readings with --format csv or "
    "--format jsonl instead";

}  // namespace

bool ParseListenAddress(const std::string& /*listen*/, std::string* /*host*/, int* /*port*/, std::string* error) {
  *error = kNoEndpoint;
  return false;
}

std::unique_ptr<MetricsEndpoint> MetricsEndpoint::Start(const std::string& /*listen*/, const MetricsBoard& /*board*/,
                                                        std::string* error) {
  *error = kNoEndpoint;
  return nullptr;
}

MetricsEndpoint::~MetricsEndpoint() = default;

}  // namespace sarvik_host
