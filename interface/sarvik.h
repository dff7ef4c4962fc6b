/*
 * sarvik: the iPlanet/Netscape performance-monitor plug-in.
 *
 * The host (the load-testing controller) loads libsarvik.so and drives it through the
 * functions below. Every function takes NUL-terminated texts, 32-bit integers and pointers,
 * returns an integer result (or nothing) and never lets an exception out. The host calls them
 * one at a time; InitMonitor comes first and TerminateMonitor last.
 *
 * Message buffers: a function that reports a message receives a buffer and its size in bytes.
 * It writes at most size - 1 characters and always terminates the text within the buffer; a
 * size below 1 receives nothing.
 *
 * Result codes: 0 success; 2 not initialised, or initialisation failed; 8 the measurement
 * cannot be created or is not active; 9 no server can be had for the measurement; 10 the
 * measurement's server is not registered. GetNewData also passes on the result code of an
 * error record: 0 or 17 from a measurement, 1 from a server without a first snapshot, 11 to 16
 * and 20 from a failed fetch. TestMachine returns 1 when the test fetch failed. SetMonitorRate
 * returns -1 when the configured rate is not used and -2 when the monitor is not initialised.
 *
 * The records that cross between host and plug-in are in abi/records.h.
 */
#ifndef SARVIK_INTERFACE_SARVIK_H_
#define SARVIK_INTERFACE_SARVIK_H_

#include <stdint.h>

#include "abi/records.h"

#ifdef __cplusplus
extern "C" {
#endif

#define SARVIK_EXPORT __attribute__((visibility("default")))


/* Initialises the monitor: reads ../dat/monitors/Netscape.cfg and opens the message catalogue
 * ../dat/tq_mon_http_msgs.e2, both relative to the directory of the host program. The first four
 * arguments are not used; *status is set to 0. Returns 0, or 2 with a message. */
SARVIK_EXPORT int InitMonitor(void* unused1, void* unused2, void* unused3, void* unused4, int32_t* status,
                              char* message, int32_t message_size);

/* Ends every measurement and every polling thread and releases what InitMonitor built. */
SARVIK_EXPORT void TerminateMonitor(void);

/* Replaces *rate by the configured sampling rate (ms) when the configuration sets one above
 * 1000: returns 0. Returns -1 (rate unchanged) otherwise, -2 when not initialised. */
SARVIK_EXPORT int SetMonitorRate(uint32_t* rate);

/* Tests whether the statistics page of `host` can be fetched with `user_data`.
 * Returns 0, or 1 with the failure in the message buffer. */
SARVIK_EXPORT int TestMachine(const char* host, const char* user_data, char* message, int32_t message_size);

/* Runs the "Add Measurements" dialog for `host`. On return *selection points at the selected
 * records (owned by the plug-in, valid until the next call or TerminateMonitor) and *count holds
 * their number. Returns 0, or 2 with a message. */
SARVIK_EXPORT int BrowseMonitor(void* unused, const char* host, CounterDefinition** selection, int32_t* count,
                                char* message, int32_t message_size);

/* Does nothing. */
SARVIK_EXPORT void CancelAdd(void);

/* Sets *document to a new XML text listing every counter and the default server properties
 * for `host`; give it back with FreeMonitorStringAllocation. Returns 0. */
SARVIK_EXPORT int GetMeasurementsCollection(const char* host, void* unused, char** document);

/* Sets *user_data to a new user-data string for `machine`, composed from `document` and the
 * configuration; give it back with FreeMonitorStringAllocation. Returns 1. */
SARVIK_EXPORT int GetUserDataStr(const HostMachineRecord* machine, const char* document, char** user_data);

/* Switches a measurement on. Returns 0, 2, 8 or 9. */
SARVIK_EXPORT int ActivateMeasurement(const char* measurement, const char* host, const char* user_data,
                                      char* message, int32_t message_size);

/* Switches a measurement off. Returns 0, 2 or 8. */
SARVIK_EXPORT int DeActivateMeasurement(const char* measurement, const char* host, char* message,
                                        int32_t message_size);

/* Takes the measurement's latest reading into *reading (written only when 0 is returned).
 * Returns 0, 2, 8, 10 or an error record's result code. */
SARVIK_EXPORT int GetNewData(const char* measurement, const char* host, ReadingRecord* reading, char* message,
                             int32_t message_size);

/* Releases a text from GetMeasurementsCollection or GetUserDataStr and sets *text to null. */
SARVIK_EXPORT void FreeMonitorStringAllocation(char** text);

#ifdef __cplusplus
} /* extern "C" */

/* An exception class declared for the host's use; the plug-in never creates or throws one. */
class SARVIK_EXPORT CTqBaseException {
 public:
  CTqBaseException();
  CTqBaseException(const CTqBaseException& other);
  virtual ~CTqBaseException();
  CTqBaseException& operator=(const CTqBaseException& other);

  /* The message of the exception. */
  virtual char* GetMessage() = 0;

  /* What GetMessage returns. */
  char* operator*();
};

#endif /* __cplusplus */

#endif /* SARVIK_INTERFACE_SARVIK_H_ */
