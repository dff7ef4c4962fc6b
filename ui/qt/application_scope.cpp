#include "ui/qt/application_scope.h"

#include <QApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QThread>

#include <clocale>

#include "platform/display_probe.h"
#include "platform/plinth.h"
#include "platform/process.h"

namespace {

// Whether a platform plugin for `name` is installed where Qt looks for it.
bool PlatformPluginInstalled(const std::string& name) {
  std::vector<std::string> directories;
  for (const std::string& directory : SplitNonEmpty(GetEnvironment("QT_QPA_PLATFORM_PLUGIN_PATH").value_or(""), ':')) {
    directories.push_back(directory);
  }
  for (const std::string& directory : SplitNonEmpty(GetEnvironment("QT_PLUGIN_PATH").value_or(""), ':')) {
    directories.push_back(directory + "/platforms");
  }
  directories.push_back(QLibraryInfo::path(QLibraryInfo::PluginsPath).toStdString() + "/platforms");
  const QString prefix = QString::fromStdString("libq" + name);
  for (const std::string& directory : directories) {
    const QStringList files = QDir(QString::fromStdString(directory)).entryList({prefix + "*.so"}, QDir::Files);
    if (!files.isEmpty()) return true;
  }
  return false;
}

// Whether the platform `choice` ("name" or "name:options") can be used here; false with
// the reason otherwise. An X11 connection that answered is left in `*display`.
bool PlatformUsable(const std::string& choice, std::string* reason, std::unique_ptr<X11Connection>* display) {
  const std::string name = choice.substr(0, choice.find(':'));
  if (!PlatformPluginInstalled(name)) {
    *reason = name + ": the Qt platform plugin is not installed";
    return false;
  }
  std::string why;
  if (name == "xcb") {
    auto connection = std::make_unique<X11Connection>();
    if (!connection->Open(GetEnvironment("DISPLAY").value_or(""), &why)) {
      *reason = name + ": " + why;
      return false;
    }
    if (display != nullptr) *display = std::move(connection);
  } else if (name.rfind("wayland", 0) == 0) {
    if (!ProbeWaylandDisplay(GetEnvironment("WAYLAND_DISPLAY").value_or(""),
                             GetEnvironment("XDG_RUNTIME_DIR").value_or(""), &why)) {
      *reason = name + ": " + why;
      return false;
    }
  }
  // Every other platform (offscreen, minimal, vnc, ...) needs no display server.
  return true;
}

}  // namespace

bool CheckApplication(std::string* platform, std::string* reason, std::unique_ptr<X11Connection>* display) {
  platform->clear();
  if (QCoreApplication* existing = QCoreApplication::instance()) {
    if (qobject_cast<QApplication*>(existing) == nullptr) {
      *reason = "the host's Qt application has no widgets";
      return false;
    }
    if (existing->thread() != QThread::currentThread()) {
      *reason = "the dialog was asked for on another thread than the one of the host's Qt application";
      return false;
    }
    return true;
  }

  std::vector<std::string> candidates = SplitNonEmpty(GetEnvironment("QT_QPA_PLATFORM").value_or(""), ';');
  if (candidates.empty()) {
    if (GetEnvironment("XDG_SESSION_TYPE").value_or("") == "wayland") candidates = {"wayland", "xcb"};
    else candidates = {"xcb", "wayland"};
  }
  std::string reasons;
  for (const std::string& candidate : candidates) {
    std::string why;
    if (PlatformUsable(candidate, &why, display)) {
      *platform = candidate;
      return true;
    }
    reasons += (reasons.empty() ? "" : "; ") + why;
  }
  *reason = "no display can be opened (" + reasons + ")";
  return false;
}

ApplicationScope::ApplicationScope(const std::string& platform) {
  if (platform.empty()) {
    application_ = qobject_cast<QApplication*>(QCoreApplication::instance());
    return;
  }
  // Qt sets the process locale from the environment; the host's own is put back afterwards.
  if (const char* locale = std::setlocale(LC_ALL, nullptr)) saved_locale_ = locale;
  arguments_ = {"sarvik", "-platform", platform};
  for (std::string& argument : arguments_) argv_.push_back(argument.data());
  argv_.push_back(nullptr);
  argc_ = static_cast<int>(arguments_.size());
  owned_ = std::make_unique<QApplication>(argc_, argv_.data());
  application_ = owned_.get();
}

ApplicationScope::~ApplicationScope() {
  if (owned_ == nullptr) return;
  owned_.reset();
  if (!saved_locale_.empty()) std::setlocale(LC_ALL, saved_locale_.c_str());
}
