// The exit statuses of sarvik-host.
#pragma once

namespace sarvik_host {

inline constexpr int kExitSuccess = 0;
// A connection test failed, or a measurement reported an error during the session.
inline constexpr int kExitFailure = 1;
// Bad command line or input, or the plug-in could not be loaded or initialised.
inline constexpr int kExitUsage = 2;
// Ended by SIGINT, SIGTERM or SIGHUP.
inline constexpr int kExitInterrupted = 130;

}  // namespace sarvik_host
