// The dialogs on Qt Widgets: a real modal window built from a dialog template, in the
// application the process has or in one made for the call (ui/qt/application_scope.h).
//
// The window, in object names the tests find: the dialog "AddMeasurements" (named after nothing
// else but that it is the one dialog), each control with an identifier "control-<id>", the
// others "static-<n>" by their place in the template.
#pragma once

#include <memory>
#include <string>

#include "platform/display_probe.h"
#include "ui/dialog_view.h"

// Used from the host's calling thread, one call at a time.
class QtDialogToolkit final : public DialogToolkit {
 public:
  // The toolkit of the plug-in.
  static QtDialogToolkit& Instance();

  // Checks the application and the display, and keeps what it found (the platform, and an open
  // X11 connection) for the DoModal that follows.
  bool CanShowDialog(std::string* reason) override;
  int DoModal(const DialogTemplate& dialog, DialogEvents& events) override;

 private:
  bool checked_ = false;
  std::string platform_;
  std::unique_ptr<X11Connection> display_;
};
