// The terminal the live table is drawn on: its size, and the keys the user presses while the
// table runs. Opening it switches keyboard input to single keys without echo; closing it (the
// destructor, on every way out of the session) gives the terminal back as it was. Ctrl-C still
// raises SIGINT, which the host's signal watch reads as before.
//
// One implementation a platform (terminal_posix.cpp: termios), chosen by the build. Use a
// Terminal from the thread that samples only.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sarvik_host {

struct TerminalSize {
  std::size_t columns = 0;
  std::size_t rows = 0;
};

// One key the user pressed.
struct KeyPress {
  enum class Kind {
    kCharacter,  // `text` holds it (one UTF-8 character)
    kEnter,
    kEscape,
    kBackspace,
    kUp,
    kDown,
    kPageUp,
    kPageDown,
    kHome,
    kEnd,
  };
  Kind kind = Kind::kCharacter;
  std::string text;

  static KeyPress Character(std::string_view text) { return {Kind::kCharacter, std::string(text)}; }
  static KeyPress Of(Kind kind) { return {kind, {}}; }
  bool Is(char c) const { return kind == Kind::kCharacter && text.size() == 1 && text[0] == c; }
};

// The keys in `bytes`, as a terminal sends them: printable characters (UTF-8), Enter (CR or LF),
// Backspace (DEL or BS), Escape alone, and the VT100/xterm sequences for the arrows, Page Up/Down,
// Home and End ("\x1b[5~", "\x1bOA", ...). An unknown sequence and other control characters are
// dropped. A lone ESC that ends `bytes` is the Escape key: a terminal sends a sequence whole.
std::vector<KeyPress> DecodeKeys(std::string_view bytes);

class Terminal {
 public:
  // The terminal on standard output, or null when standard output is not one. Keys are read
  // from standard input when it is a terminal too and the host runs in the foreground;
  // otherwise the table runs without keys.
  static std::unique_ptr<Terminal> Open();

  virtual ~Terminal() = default;
  Terminal(const Terminal&) = delete;
  Terminal& operator=(const Terminal&) = delete;

  // The size now, or nothing when the terminal does not tell.
  virtual std::optional<TerminalSize> Size() const = 0;

  // True when keys are read.
  virtual bool ReadsKeys() const = 0;
  // A descriptor that becomes readable when a key waits (for SignalWatch::Wait), or -1 without
  // keys.
  virtual int KeyHandle() const = 0;
  // The keys that wait, without blocking; empty when none.
  virtual std::vector<KeyPress> TakeKeys() = 0;

 protected:
  Terminal() = default;
};

}  // namespace sarvik_host
