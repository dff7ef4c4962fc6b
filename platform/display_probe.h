// Whether a display server answers, checked without the window toolkit: a toolkit that cannot
// reach its display ends the whole process, so the plug-in asks first and answers the host with
// a message instead.
#pragma once

#include <string>

// An open connection to an X server through libxcb, loaded at run time. It is kept open while
// the toolkit makes its own connection: an X server that loses its last client resets itself
// and refuses new connections for a moment.
class X11Connection {
 public:
  X11Connection() = default;
  ~X11Connection() { Close(); }
  X11Connection(const X11Connection&) = delete;
  X11Connection& operator=(const X11Connection&) = delete;

  // Connects to the X server that `display` names (as DISPLAY spells it), trying again for
  // about a second while it refuses. False, with the reason in `*reason`, when it does not
  // answer.
  [[nodiscard]] bool Open(const std::string& display, std::string* reason);
  // Disconnects; safe to call twice.
  void Close();
  bool is_open() const { return connection_ != nullptr; }

 private:
  void* library_ = nullptr;
  void* connection_ = nullptr;
  void (*disconnect_)(void*) = nullptr;
};

// Connects to the X server that `display` names and disconnects again. False, with the reason,
// when it does not answer.
[[nodiscard]] bool ProbeX11Display(const std::string& display, std::string* reason);

// Connects to the Wayland compositor's socket that `wayland_display` names (as WAYLAND_DISPLAY
// spells it: a path, or a name in `runtime_directory`). False, with the reason, when nothing
// listens there.
[[nodiscard]] bool ProbeWaylandDisplay(const std::string& wayland_display, const std::string& runtime_directory,
                                       std::string* reason);
