/* The public header compiles as C, as a host written in C includes it. */
#include "interface/sarvik.h"

_Static_assert(sizeof(CounterDefinition) == 3592, "CounterDefinition is 3592 bytes");
_Static_assert(sizeof(ReadingRecord) == 32, "ReadingRecord is 32 bytes");
_Static_assert(offsetof(ReadingRecord, rate) == 24, "the rate stands at offset 24");
_Static_assert(sizeof(HostMachineRecord) == 387, "HostMachineRecord is 387 bytes");

int (*const sarvik_c_header_check_init)(void*, void*, void*, void*, int32_t*, char*, int32_t) = InitMonitor;
