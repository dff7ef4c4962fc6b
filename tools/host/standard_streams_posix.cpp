#include "tools/host/standard_streams.h"

namespace sarvik_host {

// POSIX streams write what they are given.
void PrepareStandardStreams() {}

}  // namespace sarvik_host
