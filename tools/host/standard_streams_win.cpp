#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include "tools/host/standard_streams.h"

namespace sarvik_host {

void PrepareStandardStreams() {
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
}

}  // namespace sarvik_host
