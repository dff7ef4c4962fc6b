// The Qt application a dialog runs in. A host that runs its own QApplication lends it; in any
// other host the plug-in creates one on the calling thread for the one dialog and deletes it
// again afterwards, so that the next call (in the same process, or after the library was
// unloaded and loaded again) starts afresh.
//
// Qt ends the process when its platform cannot reach a display, so CheckApplication looks for a
// platform that can work before any application is created.
#pragma once

#include <memory>
#include <string>
#include <vector>

class QApplication;
class X11Connection;

// What a dialog on the calling thread would run in: the process's own QApplication (`*platform`
// empty), or a new one on `*platform` (a Qt platform such as "offscreen" or
// "xcb"). False, with the reason for the host's user, when no dialog can run:
// - the process's Qt application has no widgets, or belongs to another thread;
// - no platform of QT_QPA_PLATFORM (or, when it is not set, neither X11 nor Wayland) is installed
//   and reaches its display.
// For X11, `*display` receives the connection the check opened; keep it until the application
// has made its own (null `display`: it is closed at once).
[[nodiscard]] bool CheckApplication(std::string* platform, std::string* reason,
                                    std::unique_ptr<X11Connection>* display = nullptr);

class ApplicationScope {
 public:
  // Lends the process's own application when `platform` is empty; creates one on `platform`
  // otherwise. The process locale is kept aside and put back when the scope ends.
  explicit ApplicationScope(const std::string& platform);
  ~ApplicationScope();
  ApplicationScope(const ApplicationScope&) = delete;
  ApplicationScope& operator=(const ApplicationScope&) = delete;

  // The application, or null when there is none.
  QApplication* application() const { return application_; }
  // Whether this scope created (and will delete) the application.
  bool owns_application() const { return owned_ != nullptr; }

 private:
  // QApplication keeps references to the argument count and vector for its whole life.
  int argc_ = 0;
  std::vector<std::string> arguments_;
  std::vector<char*> argv_;
  std::string saved_locale_;
  std::unique_ptr<QApplication> owned_;
  QApplication* application_ = nullptr;
};
