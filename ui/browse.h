// The "Add Measurements" exchange with the host: the server properties the dialog remembers
// between calls, how they are seeded for a host, and the run of the dialog that fills the
// selection array.
//
// Everything here runs on the host's calling thread, one call at a time, without locks.
#pragma once

#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "abi/records.h"
#include "config/server_params.h"
#include "ui/dialog_view.h"

// The server properties the dialog last returned with OK, or that the last call loaded from a
// running server or from the configuration. Process-wide: created with port 0 and empty texts
// at the first use, kept until the library is unloaded; starting and ending the monitor leave
// it alone.
ServerParams& RememberedProperties();

// Forgets the remembered properties (port 0, empty texts). Tests only.
void TEST_ForgetRememberedProperties();

// Finds the properties of a running server for a host text, or nothing. It is called on the
// dialog's thread before the dialog shows and must not block.
using RunningServerLookup = std::function<std::optional<ServerParams>(std::string_view host_text)>;

// Seeds `*remembered` for `host`: from the running server that `find_running` finds for
// `host` (every field, the scheme included); otherwise, when the remembered URL is empty or does
// not contain `host` (case-sensitive), port, URL, login, password and scheme (serverScheme) from
// section "Netscape" of the configuration file at `config_path` (infoURL expanded with `host`);
// otherwise it stays.
void SeedRememberedProperties(std::string_view host, const RunningServerLookup& find_running,
                              const std::string& config_path, ServerParams* remembered);

// Seeds the remembered properties for `host`, runs the dialog over `definitions` with
// `toolkit`, remembers the properties confirmed with OK, and writes `host` into the host field
// of each selected record at the start of `selection` (which has a record for every
// definition). Returns the number of selected records: 0 after Cancel, or when the dialog ended
// itself.
int RunAddMeasurementsDialog(std::string_view host, std::span<const CounterDefinition> definitions,
                             std::span<CounterDefinition> selection, const RunningServerLookup& find_running,
                             const std::string& config_path, DialogToolkit& toolkit);
