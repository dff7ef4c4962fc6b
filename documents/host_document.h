// The user-data string composed from the host's record of a machine and the host's
// description document: port and URL from the document's monitorData properties where it
// gives them, from the configuration otherwise; login and password from the record; the scheme
// from the configuration.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "abi/records.h"
#include "platform/profile.h"
#include "platform/xml_document.h"

// A reader of the host's description document, for one call.
class XmlDocReader {
 public:
  // Parses `text`; false when it is not a well-formed document.
  [[nodiscard]] bool LoadText(std::string_view text);

  // The text of the first "value" element of the first node that `path` selects: true with the
  // text (empty when there is no such node), false with an empty text when `path` cannot be
  // evaluated.
  [[nodiscard]] bool ReadPropValue(const std::string& path, std::string* value) const;

 private:
  XmlDocument document_;
  bool loaded_ = false;
};

// The user-data string "port|URL|login|password" for `machine` and `document`, at most 1023
// characters; "port|URL|login|password|https" when the configuration's serverScheme is https.
// The machine's fields are read within their 129 bytes even when unterminated.
std::string ComposeUserData(const HostMachineRecord& machine, std::string_view document, const Profile& configuration);
