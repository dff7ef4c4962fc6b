// Debian's dygraphs, carried inside sarvik-host so that a session report draws its charts from
// one self-contained file. The build reads the package (libjs-dygraphs) into the program; the
// texts live as long as the program. Any thread may call these.
#pragma once

#include <string_view>

namespace sarvik_host {

// The package's version ("2.2.1").
std::string_view DygraphsVersion();
// The minified script (it defines the global Dygraph), without its source-map reference.
std::string_view DygraphsScript();
// The minified style sheet of the legends, labels and annotations.
std::string_view DygraphsStyle();
// The package's copyright notice and MIT licence, which every report carries.
std::string_view DygraphsLicence();

}  // namespace sarvik_host
