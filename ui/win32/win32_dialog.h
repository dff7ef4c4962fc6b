// The dialogs on Win32: a real modal dialog box, built in memory as an extended dialog template
// (DLGTEMPLATEEX) from the plug-in's dialog template and run by the system's dialog manager on
// the calling thread. Texts cross to the system as UTF-16.
//
// The window: a dialog of the system's dialog class ("#32770") with the template's caption, its
// controls the system's own buttons, edits, static texts and list boxes, each control with an
// identifier carrying it as its dialog item identifier; tab order and mnemonics are the dialog
// manager's, from the template's creation order and texts. The dialog draws the list's items
// itself (a label wider than the list ends in an ellipsis), and a tool tip control of the common
// controls shows such a label whole under the mouse, as it shows a caption too long for its place.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "ui/dialog_view.h"

// Used from the host's calling thread, one call at a time.
class Win32DialogToolkit final : public DialogToolkit {
 public:
  // The toolkit of the plug-in.
  static Win32DialogToolkit& Instance();

  // False, with the reason, when the process's window station has no display (a service).
  bool CanShowDialog(std::string* reason) override;
  int DoModal(const DialogTemplate& dialog, DialogEvents& events) override;
};

// The extended dialog template of `dialog`, as DialogBoxIndirectParamW takes it: the dialog's
// styles, caption and font, then each control in template order with its system class, styles,
// position in dialog units, identifier and text. The list boxes are not sorted by the system
// (the view places every item itself) and their items are drawn by the dialog (owner-drawn, with
// their strings kept by the list); `centred` adds DS_CENTER. The buffer starts DWORD
// aligned, as a vector's storage does.
std::vector<std::byte> BuildDialogTemplateEx(const DialogTemplate& dialog, bool centred = true);
