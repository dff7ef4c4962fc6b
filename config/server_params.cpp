#include "config/server_params.h"

std::string MakeServerKey(const ServerParams& params) {
  return params.host + "|" + params.url + "|" + std::to_string(params.port);
}
