// Builds the measurement for a counter from its section of the configuration, read at the
// moment of activation: a table-cell counter when TblName is set, a pattern counter otherwise.
#pragma once

#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "counters/netscape_measurement.h"
#include "abi/records.h"
#include "platform/profile.h"

// The measurement for definition `index` of `definitions` (-1: a counter the configuration does
// not define, labelled with the whole key and read as a pattern counter without rate), registered
// under `key` for the source `server`. `configuration` holds the counter's section "index".
// Returns null when memory is exhausted.
std::unique_ptr<CNetscapeMeasurement> CreateMeasurement(int index, std::span<const CounterDefinition> definitions,
                                                        std::string_view key, const ServerParams& server,
                                                        const Profile& configuration);
