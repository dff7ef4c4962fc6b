/*
 * The records that cross between the host and the plug-in. Their sizes and field offsets are
 * fixed: the host reads and writes them byte by byte.
 */
#ifndef SARVIK_ABI_RECORDS_H_
#define SARVIK_ABI_RECORDS_H_

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* A time stamp: seconds since the epoch, then microseconds. 8 bytes. */
typedef struct SampleTime {
  int32_t seconds;
  int32_t microseconds;
} SampleTime;

/* One counter: its text, label and description; in the array that BrowseMonitor returns also
 * the host name and the user-data string ("port|URL|login|password") of the measurement.
 * 3592 bytes; every text is NUL-terminated and unused bytes are zero. */
typedef struct CounterDefinition {
  char counter[512];      /* offset 0: identifies the counter; for a pattern counter, the text searched for */
  char label[512];        /* offset 512: the name shown to the user */
  char description[512];  /* offset 1024 */
  char reserved1[512];    /* offset 1536 */
  char host[512];         /* offset 2048: host name of a selected measurement */
  char reserved2[4];      /* offset 2560 */
  char user_data[1024];   /* offset 2564: user-data string of a selected measurement */
  char reserved3[4];      /* offset 3588 */
} CounterDefinition;

/* A reading, 32 bytes, little-endian.
 * kind 0 (a value): first_time is the sample's snapshot time, value the value.
 * kind 1 (a per-second rate): first_time is the previous sample's snapshot time, second_time
 * the latest sample's, and rate the rate between the two. */
typedef struct ReadingRecord {
  int32_t kind;        /* offset 0 */
  int32_t reserved;    /* offset 4: no meaning */
  SampleTime first_time;  /* offset 8 */
  union {
    double value;          /* offset 16, kind 0 */
    SampleTime second_time; /* offset 16, kind 1 */
  };
  double rate;         /* offset 24, kind 1 */
} ReadingRecord;

/* The host's record of a monitored machine, as GetUserDataStr reads it. 387 bytes. */
typedef struct HostMachineRecord {
  char host[129];      /* offset 0 */
  char login[129];     /* offset 129 */
  char password[129];  /* offset 258 */
} HostMachineRecord;

#ifdef __cplusplus
} /* extern "C" */

static_assert(sizeof(SampleTime) == 8, "SampleTime is 8 bytes");
static_assert(sizeof(CounterDefinition) == 3592, "CounterDefinition is 3592 bytes");
static_assert(offsetof(CounterDefinition, counter) == 0 && offsetof(CounterDefinition, label) == 512 &&
                  offsetof(CounterDefinition, description) == 1024 && offsetof(CounterDefinition, reserved1) == 1536 &&
                  offsetof(CounterDefinition, host) == 2048 && offsetof(CounterDefinition, reserved2) == 2560 &&
                  offsetof(CounterDefinition, user_data) == 2564 && offsetof(CounterDefinition, reserved3) == 3588,
              "CounterDefinition field offsets");
static_assert(sizeof(ReadingRecord) == 32, "ReadingRecord is 32 bytes");
static_assert(offsetof(ReadingRecord, kind) == 0 && offsetof(ReadingRecord, reserved) == 4 &&
                  offsetof(ReadingRecord, first_time) == 8 && offsetof(ReadingRecord, value) == 16 &&
                  offsetof(ReadingRecord, second_time) == 16 && offsetof(ReadingRecord, rate) == 24,
              "ReadingRecord field offsets");
static_assert(sizeof(HostMachineRecord) == 387, "HostMachineRecord is 387 bytes");
static_assert(offsetof(HostMachineRecord, login) == 129 && offsetof(HostMachineRecord, password) == 258,
              "HostMachineRecord field offsets");
#endif /* __cplusplus */

#endif /* SARVIK_ABI_RECORDS_H_ */
