#include "platform/xml_document.h"

#include <pugixml.hpp>

#include <exception>

struct XmlDocument::Impl {
  pugi::xml_document document;
  bool loaded = false;
};

XmlDocument::XmlDocument() : impl_(std::make_unique<Impl>()) {}
XmlDocument::~XmlDocument() = default;

Status XmlDocument::Parse(std::string_view text) {
  impl_->document.reset();
  const pugi::xml_parse_result result =
      impl_->document.load_buffer(text.data(), text.size(), pugi::parse_default, pugi::encoding_auto);
  // A failed parse leaves a partial tree behind; it must not be read.
  impl_->loaded = static_cast<bool>(result) && impl_->document.document_element();
  if (impl_->loaded) return Status::Ok();
  impl_->document.reset();
  return Status::Failure(StatusCode::kInvalidArgument,
                         result ? "the document has no root element" : result.description());
}

Result<std::string> XmlDocument::SelectText(const std::string& absolute_path,
                                            const std::string& relative_path) const {
  if (!impl_->loaded) return std::string();
  try {
    const pugi::xpath_node found = impl_->document.document_element().select_node(absolute_path.c_str());
    if (!found) return std::string();
    const pugi::xpath_node value = found.node().select_node(relative_path.c_str());
    if (!value) return std::string();
    return pugi::xpath_query("string(.)").evaluate_string(value);
  } catch (const std::exception& failure) {
    // pugixml reports an unusable XPath (and memory exhaustion) by throwing; it stops here.
    return Status::Failure(StatusCode::kInvalidArgument, failure.what());
  }
}
