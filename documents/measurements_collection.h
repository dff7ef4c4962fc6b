// The measurements collection document: every counter of the configuration and the default
// server properties (port and statistics URL) for a host, as a small XML text.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "abi/records.h"
#include "platform/profile.h"

// The document for `host` over `definitions`, with serverPort and infoURL of `configuration`.
// Line feeds end its lines, nothing is indented; attribute and element values are XML-escaped
// (values without &, <, > and " stand exactly as they are).
std::string BuildMeasurementsCollection(std::span<const CounterDefinition> definitions, std::string_view host,
                                        const Profile& configuration);

// The statistics URL for `host`: the configured infoURL with every "%s" replaced by the host
// name and "%%" by "%"; any other '%' stays as written.
std::string ExpandInfoUrl(std::string_view info_url, std::string_view host);
