#include "platform/xml_document.h"

#include <windows.h>
#include <objbase.h>
#include <msxml2.h>

#include <string>

namespace {

// The class identifiers of MSXML 6.0's DOM document and, where that is missing, MSXML 3.0's.
constexpr CLSID kDomDocument60 = {0x88d96a05, 0xf192, 0x11d4, {0xa6, 0x5f, 0x00, 0x40, 0x96, 0x32, 0x51, 0xe5}};
constexpr CLSID kDomDocument30 = {0xf5078f32, 0xc551, 0x11d3, {0x89, 0xb9, 0x00, 0x00, 0xf8, 0x1f, 0xe2, 0x21}};
constexpr IID kXmlDomDocument2 = {0x2933bf95, 0x7b36, 0x11d2, {0xb2, 0x0e, 0x00, 0xc0, 0x4f, 0x98, 0x3e, 0x60}};

// Holds the calling thread in COM for as long as a document lives. A thread that the host put in
// COM already (in whatever apartment) is used as it is and left as it was.
class ComScope {
 public:
  ComScope() {
    const HRESULT result = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    entered_ = SUCCEEDED(result);
    usable_ = entered_ || result == RPC_E_CHANGED_MODE;
  }
  ~ComScope() {
    if (entered_) CoUninitialize();
  }
  ComScope(const ComScope&) = delete;
  ComScope& operator=(const ComScope&) = delete;

  bool usable() const { return usable_; }

 private:
  bool entered_ = false;
  bool usable_ = false;
};

// A BSTR that frees itself.
class Bstr {
 public:
  explicit Bstr(const std::wstring& text) : text_(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
  Bstr() = default;
  ~Bstr() { SysFreeString(text_); }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;

  BSTR get() const { return text_; }
  BSTR* out() {
    SysFreeString(text_);
    text_ = nullptr;
    return &text_;
  }

 private:
  BSTR text_ = nullptr;
};

// A COM interface pointer that releases itself.
template <typename Interface>
class ComPtr {
 public:
  ComPtr() = default;
  ~ComPtr() { Reset(); }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;

  Interface* get() const { return pointer_; }
  Interface* operator->() const { return pointer_; }
  explicit operator bool() const { return pointer_ != nullptr; }
  Interface** out() {
    Reset();
    return &pointer_;
  }
  void Reset() {
    if (pointer_ != nullptr) pointer_->Release();
    pointer_ = nullptr;
  }

 private:
  Interface* pointer_ = nullptr;
};

std::wstring Widen(std::string_view text) {
  if (text.empty()) return {};
  const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (length <= 0) return {};
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
  return wide;
}

std::string Narrow(const wchar_t* text, std::size_t size) {
  if (text == nullptr || size == 0) return {};
  const int length = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(size), nullptr, 0, nullptr, nullptr);
  if (length <= 0) return {};
  std::string narrow(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(size), narrow.data(), length, nullptr, nullptr);
  return narrow;
}

std::string Narrow(const Bstr& text) { return Narrow(text.get(), text.get() == nullptr ? 0 : SysStringLen(text.get())); }

void SetProperty(IXMLDOMDocument2* document, const wchar_t* name, VARIANT value) {
  const Bstr property(name);
  // A parser that does not know a property keeps its own default; that is no reason to refuse.
  (void)document->setProperty(property.get(), value);
  VariantClear(&value);
}

VARIANT TextVariant(const wchar_t* text) {
  VARIANT value;
  VariantInit(&value);
  value.vt = VT_BSTR;
  value.bstrVal = SysAllocString(text);
  return value;
}

VARIANT BoolVariant(bool flag) {
  VARIANT value;
  VariantInit(&value);
  value.vt = VT_BOOL;
  value.boolVal = flag ? VARIANT_TRUE : VARIANT_FALSE;
  return value;
}

// Appends every text and CDATA section below `node`, in document order: the string value of an
// element as XPath defines it.
void AppendDescendantText(IXMLDOMNode* node, std::string* text) {
  ComPtr<IXMLDOMNode> child;
  if (node->get_firstChild(child.out()) != S_OK) return;
  while (child) {
    DOMNodeType type = NODE_INVALID;
    child->get_nodeType(&type);
    if (type == NODE_TEXT || type == NODE_CDATA_SECTION) {
      // The node's value, not its text: the text property may trim white space.
      VARIANT exact;
      VariantInit(&exact);
      if (child->get_nodeValue(&exact) == S_OK && exact.vt == VT_BSTR) {
        text->append(Narrow(exact.bstrVal, SysStringLen(exact.bstrVal)));
      }
      VariantClear(&exact);
    } else if (type == NODE_ELEMENT) {
      AppendDescendantText(child.get(), text);
    }
    ComPtr<IXMLDOMNode> next;
    if (child->get_nextSibling(next.out()) != S_OK) break;
    IXMLDOMNode* taken = next.get();
    taken->AddRef();
    child.Reset();
    *child.out() = taken;
  }
}

std::string StringValue(IXMLDOMNode* node) {
  DOMNodeType type = NODE_INVALID;
  node->get_nodeType(&type);
  std::string text;
  if (type == NODE_ELEMENT || type == NODE_DOCUMENT) {
    AppendDescendantText(node, &text);
    return text;
  }
  VARIANT value;
  VariantInit(&value);
  if (node->get_nodeValue(&value) == S_OK && value.vt == VT_BSTR) {
    text = Narrow(value.bstrVal, SysStringLen(value.bstrVal));
  }
  VariantClear(&value);
  return text;
}

}  // namespace

struct XmlDocument::Impl {
  ComScope com;
  ComPtr<IXMLDOMDocument2> document;
  bool loaded = false;
};

XmlDocument::XmlDocument() : impl_(std::make_unique<Impl>()) {}
XmlDocument::~XmlDocument() = default;

Status XmlDocument::Parse(std::string_view text) {
  impl_->loaded = false;
  impl_->document.Reset();
  if (!impl_->com.usable()) return Status::Failure(StatusCode::kResourceExhausted, "COM is not available");
  HRESULT result = CoCreateInstance(kDomDocument60, nullptr, CLSCTX_INPROC_SERVER, kXmlDomDocument2,
                                    reinterpret_cast<void**>(impl_->document.out()));
  if (FAILED(result)) {
    result = CoCreateInstance(kDomDocument30, nullptr, CLSCTX_INPROC_SERVER, kXmlDomDocument2,
                              reinterpret_cast<void**>(impl_->document.out()));
  }
  if (FAILED(result) || !impl_->document) {
    return Status::Failure(StatusCode::kResourceExhausted, "no XML parser (MSXML) can be created");
  }
  IXMLDOMDocument2* document = impl_->document.get();
  document->put_async(VARIANT_FALSE);
  document->put_validateOnParse(VARIANT_FALSE);
  document->put_resolveExternals(VARIANT_FALSE);
  document->put_preserveWhiteSpace(VARIANT_TRUE);
  SetProperty(document, L"SelectionLanguage", TextVariant(L"XPath"));
  SetProperty(document, L"ProhibitDTD", BoolVariant(false));

  const Bstr source(Widen(text));
  VARIANT_BOOL parsed = VARIANT_FALSE;
  result = document->loadXML(source.get(), &parsed);
  ComPtr<IXMLDOMElement> root;
  if (SUCCEEDED(result) && parsed == VARIANT_TRUE && document->get_documentElement(root.out()) == S_OK && root) {
    impl_->loaded = true;
    return Status::Ok();
  }
  std::string reason = "the document has no root element";
  ComPtr<IXMLDOMParseError> error;
  if (document->get_parseError(error.out()) == S_OK && error) {
    long code = 0;
    error->get_errorCode(&code);
    Bstr why;
    if (code != 0 && error->get_reason(why.out()) == S_OK) {
      reason = Narrow(why);
      while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' || reason.back() == ' ')) {
        reason.pop_back();
      }
      if (reason.empty()) reason = "the document is not well formed";
    }
  }
  impl_->document.Reset();
  return Status::Failure(StatusCode::kInvalidArgument, reason);
}

Result<std::string> XmlDocument::SelectText(const std::string& absolute_path, const std::string& relative_path) const {
  if (!impl_->loaded) return std::string();
  ComPtr<IXMLDOMElement> root;
  if (impl_->document->get_documentElement(root.out()) != S_OK || !root) return std::string();

  const Bstr first_path(Widen(absolute_path));
  ComPtr<IXMLDOMNode> found;
  HRESULT result = root->selectSingleNode(first_path.get(), found.out());
  if (FAILED(result)) return Status::Failure(StatusCode::kInvalidArgument, "the path cannot be evaluated: " + absolute_path);
  if (!found) return std::string();

  const Bstr second_path(Widen(relative_path));
  ComPtr<IXMLDOMNode> value;
  result = found->selectSingleNode(second_path.get(), value.out());
  if (FAILED(result)) return Status::Failure(StatusCode::kInvalidArgument, "the path cannot be evaluated: " + relative_path);
  if (!value) return std::string();
  return StringValue(value.get());
}
