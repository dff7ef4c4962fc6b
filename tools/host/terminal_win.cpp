// The terminal through the Windows console: the size of the console window, single keys read as
// console input events. Opening it lets the console draw what the table is written with (the
// escape sequences of a terminal, Windows 10 and later, and UTF-8) and turns off line input and
// echo; closing it gives the console its modes and code page back. Ctrl-C stays a control event
// (processed input), which the host's signal watch reads as before.
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <iterator>

#include "tools/host/terminal.h"

namespace sarvik_host {

namespace {

// The key of a virtual-key code that is not a character, or nothing.
bool SpecialKey(WORD virtual_key, KeyPress::Kind* kind) {
  switch (virtual_key) {
    case VK_RETURN: *kind = KeyPress::Kind::kEnter; return true;
    case VK_ESCAPE: *kind = KeyPress::Kind::kEscape; return true;
    case VK_BACK: *kind = KeyPress::Kind::kBackspace; return true;
    case VK_UP: *kind = KeyPress::Kind::kUp; return true;
    case VK_DOWN: *kind = KeyPress::Kind::kDown; return true;
    case VK_PRIOR: *kind = KeyPress::Kind::kPageUp; return true;
    case VK_NEXT: *kind = KeyPress::Kind::kPageDown; return true;
    case VK_HOME: *kind = KeyPress::Kind::kHome; return true;
    case VK_END: *kind = KeyPress::Kind::kEnd; return true;
    default: return false;
  }
}

// Appends the UTF-8 of `code_point`.
void AppendUtf8(char32_t code_point, std::string* text) {
  if (code_point < 0x80) {
    *text += static_cast<char>(code_point);
  } else if (code_point < 0x800) {
    *text += static_cast<char>(0xC0 | (code_point >> 6));
    *text += static_cast<char>(0x80 | (code_point & 0x3F));
  } else if (code_point < 0x10000) {
    *text += static_cast<char>(0xE0 | (code_point >> 12));
    *text += static_cast<char>(0x80 | ((code_point >> 6) & 0x3F));
    *text += static_cast<char>(0x80 | (code_point & 0x3F));
  } else {
    *text += static_cast<char>(0xF0 | (code_point >> 18));
    *text += static_cast<char>(0x80 | ((code_point >> 12) & 0x3F));
    *text += static_cast<char>(0x80 | ((code_point >> 6) & 0x3F));
    *text += static_cast<char>(0x80 | (code_point & 0x3F));
  }
}

class ConsoleTerminal final : public Terminal {
 public:
  explicit ConsoleTerminal(HANDLE output) : output_(output) {
    if (GetConsoleMode(output_, &original_output_mode_)) {
      output_mode_set_ = SetConsoleMode(
          output_, original_output_mode_ | ENABLE_PROCESSED_OUTPUT | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
    }
    original_code_page_ = GetConsoleOutputCP();
    if (original_code_page_ != CP_UTF8) SetConsoleOutputCP(CP_UTF8);

    input_ = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stdin)));
    if (input_ == INVALID_HANDLE_VALUE || !GetConsoleMode(input_, &original_input_mode_)) return;
    // Single keys without echo; Ctrl-C stays a control event.
    const DWORD keys = (original_input_mode_ & ~static_cast<DWORD>(ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT)) |
                       ENABLE_PROCESSED_INPUT;
    if (!SetConsoleMode(input_, keys)) return;
    FlushConsoleInputBuffer(input_);
    reads_keys_ = true;
  }

  ~ConsoleTerminal() override {
    if (reads_keys_) SetConsoleMode(input_, original_input_mode_);
    if (original_code_page_ != 0 && original_code_page_ != CP_UTF8) SetConsoleOutputCP(original_code_page_);
    if (output_mode_set_) SetConsoleMode(output_, original_output_mode_);
  }

  std::optional<TerminalSize> Size() const override {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (!GetConsoleScreenBufferInfo(output_, &info)) return std::nullopt;
    const int columns = info.srWindow.Right - info.srWindow.Left + 1;
    const int rows = info.srWindow.Bottom - info.srWindow.Top + 1;
    if (columns <= 0 || rows <= 0) return std::nullopt;
    return TerminalSize{static_cast<std::size_t>(columns), static_cast<std::size_t>(rows)};
  }

  bool ReadsKeys() const override { return reads_keys_; }
  // The signal watch waits on the console input handle of this descriptor.
  int KeyHandle() const override { return reads_keys_ ? _fileno(stdin) : -1; }

  std::vector<KeyPress> TakeKeys() override {
    std::vector<KeyPress> keys;
    if (!reads_keys_) return keys;
    INPUT_RECORD records[64];
    DWORD waiting = 0;
    // Every waiting event is taken, the keys' and the others' (focus, size, mouse), so that the
    // input handle is not left signalled.
    while (GetNumberOfConsoleInputEvents(input_, &waiting) && waiting > 0) {
      DWORD taken = 0;
      if (!ReadConsoleInputW(input_, records, static_cast<DWORD>(std::size(records)), &taken) || taken == 0) break;
      for (DWORD i = 0; i < taken; ++i) {
        if (records[i].EventType != KEY_EVENT) continue;
        const KEY_EVENT_RECORD& key = records[i].Event.KeyEvent;
        if (!key.bKeyDown) continue;
        KeyPress press;
        KeyPress::Kind kind;
        if (SpecialKey(key.wVirtualKeyCode, &kind)) {
          press = KeyPress::Of(kind);
        } else {
          const char16_t unit = static_cast<char16_t>(key.uChar.UnicodeChar);
          if (unit >= 0xD800 && unit <= 0xDBFF) {
            pending_high_surrogate_ = unit;
            continue;
          }
          char32_t code_point = unit;
          if (unit >= 0xDC00 && unit <= 0xDFFF) {
            if (pending_high_surrogate_ == 0) continue;
            code_point = 0x10000 + ((static_cast<char32_t>(pending_high_surrogate_) - 0xD800) << 10) + (unit - 0xDC00);
          }
          pending_high_surrogate_ = 0;
          if (code_point < 0x20 || code_point == 0x7F) continue;
          std::string text;
          AppendUtf8(code_point, &text);
          press = KeyPress::Character(text);
        }
        for (WORD repeat = 0; repeat < (key.wRepeatCount == 0 ? 1 : key.wRepeatCount); ++repeat) keys.push_back(press);
      }
    }
    return keys;
  }

 private:
  HANDLE output_;
  HANDLE input_ = INVALID_HANDLE_VALUE;
  DWORD original_output_mode_ = 0;
  DWORD original_input_mode_ = 0;
  UINT original_code_page_ = 0;
  bool output_mode_set_ = false;
  bool reads_keys_ = false;
  char16_t pending_high_surrogate_ = 0;
};

}  // namespace

std::unique_ptr<Terminal> Terminal::Open() {
  const auto output = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stdout)));
  DWORD mode = 0;
  // Only a console has a console mode: a file, a pipe or NUL does not.
  if (output == INVALID_HANDLE_VALUE || !GetConsoleMode(output, &mode)) return nullptr;
  return std::make_unique<ConsoleTerminal>(output);
}

}  // namespace sarvik_host
