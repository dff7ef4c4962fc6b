// The host's standard streams, made ready before it writes: it writes the same bytes on every
// platform (a document exactly as the plug-in gave it, CSV and JSONL lines that end in a line
// feed, a line feed inside a quoted field kept as it is).
#pragma once

namespace sarvik_host {

// Call first in main(). On Windows the C runtime's standard output and error are switched from
// text mode (which writes CR LF for every line feed) to binary; POSIX streams need nothing.
void PrepareStandardStreams();

}  // namespace sarvik_host
