// The exit statuses of sarvik-host.
#pragma once

namespace sarvik_host {

inline constexpr int kExitSuccess = 0;
// A connection test failed, or a measurement reported an error during the session.
inline constexpr int kExitFailure = 1;
// Bad command line or input, or the plug-in could not be loaded or initialised.
inline constexpr int kExitUsage = 2;
// `test`: the page was fetched but holds none of the configuration's counters.
inline constexpr int kExitNoStatistics = 3;
// Ended by a stop signal: 128 + the signal's number, as shells report a process the signal
// ended (130 SIGINT, 143 SIGTERM, 129 SIGHUP).
inline constexpr int ExitStatusOfSignal(int signal) { return 128 + signal; }
// Ended by SIGINT (Ctrl-C).
inline constexpr int kExitInterrupted = 130;

}  // namespace sarvik_host
