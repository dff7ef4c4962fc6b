// A read-only XML document parsed from memory, with first-match XPath selection and element
// text. Failures (malformed text, a bad path, memory) are values, never exceptions.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/status.h"

class XmlDocument {
 public:
  XmlDocument();
  ~XmlDocument();
  XmlDocument(const XmlDocument&) = delete;
  XmlDocument& operator=(const XmlDocument&) = delete;

  // Parses `text` (UTF-8 or plain ASCII). A kInvalidArgument Status when it is not a
  // well-formed document; the document is then empty.
  [[nodiscard]] Status Parse(std::string_view text);

  // The text content (all descendant text) of the first element that `relative_path` selects
  // from the first node that `absolute_path` selects. Returns:
  // - a kInvalidArgument Status when a path cannot be evaluated;
  // - the empty text when either selection finds nothing;
  // - the text otherwise.
  [[nodiscard]] Result<std::string> SelectText(const std::string& absolute_path, const std::string& relative_path) const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};
