#include "tools/host/terminal.h"

namespace sarvik_host {

namespace {

// The key of a CSI or SS3 sequence's final byte and parameter, or nothing.
bool SequenceKey(char final, std::string_view parameter, KeyPress::Kind* kind) {
  switch (final) {
    case 'A': *kind = KeyPress::Kind::kUp; return true;
    case 'B': *kind = KeyPress::Kind::kDown; return true;
    case 'H': *kind = KeyPress::Kind::kHome; return true;
    case 'F': *kind = KeyPress::Kind::kEnd; return true;
    case '~':
      if (parameter == "5") *kind = KeyPress::Kind::kPageUp;
      else if (parameter == "6") *kind = KeyPress::Kind::kPageDown;
      else if (parameter == "1" || parameter == "7") *kind = KeyPress::Kind::kHome;
      else if (parameter == "4" || parameter == "8") *kind = KeyPress::Kind::kEnd;
      else return false;
      return true;
    default: return false;
  }
}

}  // namespace

std::vector<KeyPress> DecodeKeys(std::string_view bytes) {
  std::vector<KeyPress> keys;
  std::size_t at = 0;
  while (at < bytes.size()) {
    const unsigned char c = static_cast<unsigned char>(bytes[at]);
    if (c == 0x1b) {
      if (at + 1 >= bytes.size() || (bytes[at + 1] != '[' && bytes[at + 1] != 'O')) {
        keys.push_back(KeyPress::Of(KeyPress::Kind::kEscape));
        ++at;
        continue;
      }
      // ESC [ parameters final, or ESC O final.
      std::size_t end = at + 2;
      while (end < bytes.size() && ((bytes[end] >= '0' && bytes[end] <= '9') || bytes[end] == ';')) ++end;
      if (end >= bytes.size()) break;  // cut short: nothing to decode
      KeyPress::Kind kind;
      if (SequenceKey(bytes[end], bytes.substr(at + 2, end - at - 2), &kind)) keys.push_back(KeyPress::Of(kind));
      at = end + 1;
    } else if (c == '\r' || c == '\n') {
      keys.push_back(KeyPress::Of(KeyPress::Kind::kEnter));
      // CR LF is one Enter.
      at += (c == '\r' && at + 1 < bytes.size() && bytes[at + 1] == '\n') ? 2 : 1;
    } else if (c == 0x7f || c == 0x08) {
      keys.push_back(KeyPress::Of(KeyPress::Kind::kBackspace));
      ++at;
    } else if (c < 0x20) {
      ++at;
    } else {
      // One UTF-8 character: the lead byte and its continuation bytes.
      std::size_t end = at + 1;
      while (end < bytes.size() && (static_cast<unsigned char>(bytes[end]) & 0xC0) == 0x80) ++end;
      keys.push_back(KeyPress::Character(bytes.substr(at, end - at)));
      at = end;
    }
  }
  return keys;
}

}  // namespace sarvik_host
