// The seam between the dialog logic and a window toolkit.
//
// The logic (CNetscapeDlg) owns the dialog's data and rules and receives the dialog's events
// through DialogEvents; a toolkit builds the window of a DialogTemplate, shows it modally and
// lets the logic read and write its controls through DialogView. The Qt view lives in ui/qt/,
// the Win32 view in ui/win32/; tests use a fake one. Everything here runs on the one thread that
// shows the dialog.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "ui/dialog_template.h"

// Identifiers of the standard buttons and of the controls of the "Add Measurements" dialog.
enum DialogControlId : int {
  kIdOk = 1,
  kIdCancel = 2,
  kIdHelp = 1018,
  kIdMeasurementList = 11002,
  kIdPort = 11003,
  kIdUrl = 11004,
  kIdDescription = 11005,
  kIdLogin = 11006,
  kIdPassword = 11007,
};

// Modal results.
inline constexpr int kDialogOk = 1;
inline constexpr int kDialogCancel = 2;
inline constexpr int kDialogEndedItself = -1;

// The controls of one shown dialog, as the logic sees them. Texts are UTF-8. List indices are
// positions in the list as the user sees it.
class DialogView {
 public:
  virtual ~DialogView() = default;

  virtual std::string GetControlText(int control_id) const = 0;
  virtual void SetControlText(int control_id, std::string_view text) = 0;
  // The most characters the user can type into edit `control_id`; a longer text that the
  // logic puts there stays whole.
  virtual void LimitText(int control_id, int max_characters) = 0;

  // Adds an item to list `control_id`, which places it in its own sort order (ListSortPosition
  // for a sorted list, the end otherwise); returns its index. `data` stays attached to the item.
  virtual int AddListItem(int control_id, std::string_view label, const void* data) = 0;
  virtual const void* GetListItemData(int control_id, int index) const = 0;
  virtual int GetListSelectedCount(int control_id) const = 0;
  // The indices of at most `max_items` selected items, in ascending list order.
  virtual std::vector<int> GetListSelectedItems(int control_id, int max_items) const = 0;

  // Tells the user that the entry in `control_id` was refused and why, waits until the user has
  // read it, then puts the focus back on that control with its text selected.
  virtual void ShowPrompt(int control_id, std::string_view text) = 0;

  // Ends the modal run with `result`; the dialog closes once the current event is handled.
  virtual void EndDialog(int result) = 0;
};

// The events of a dialog, delivered one at a time on the dialog's thread.
class DialogEvents {
 public:
  virtual ~DialogEvents() = default;

  // The controls exist and the window is not shown yet; `view` stays valid until the modal run
  // ends. Returning true puts the focus on the first tab stop.
  virtual bool OnInitDialog(DialogView& view) = 0;
  // The user changed the selection of the measurement list.
  virtual void OnSelchangeMeasurements() = 0;
  // Edit `control_id` (URL, port, login or password) lost the focus to another control.
  virtual void OnKillfocusField(int control_id) = 0;
  virtual void OnOK() = 0;  // OK, or Enter
  virtual void OnCancel() = 0;  // Cancel, Escape or the window's close button
  virtual void OnHelp() = 0;  // the Help button
  // The help key (F1). Returns true when the request was handled.
  virtual bool OnHelpInfo() = 0;
  // The modal run is over; the view is gone.
  virtual void OnDialogClosed() = 0;
};

// A window toolkit that runs dialogs modally on the calling thread.
class DialogToolkit {
 public:
  virtual ~DialogToolkit() = default;

  // Whether a modal dialog can be shown on the calling thread now; when not, `*reason` says why
  // in words for the host's user.
  [[nodiscard]] virtual bool CanShowDialog(std::string* reason) = 0;

  // Builds the window of `dialog` (no parent window), calls events.OnInitDialog, shows it and
  // runs it until the view's EndDialog, then calls events.OnDialogClosed. Returns the result
  // given to EndDialog, or kDialogEndedItself when the window cannot be built.
  virtual int DoModal(const DialogTemplate& dialog, DialogEvents& events) = 0;
};

// The toolkit of the plug-in: the view the build links (ui/qt/ on Linux, ui/win32/ on Windows).
DialogToolkit& PlatformDialogToolkit();

// Where a sorted list places a new item with `label` among `labels` (already in order): after
// every label that sorts before it or equal to it. Labels compare without regard to ASCII case.
std::size_t ListSortPosition(const std::vector<std::string>& labels, std::string_view label);

// The dialog base units of a font: the average character width, from the width in pixels of
// "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz" rounded the way the original window
// system does it ((width / 26 + 1) / 2), and the font's height in pixels.
struct DialogBaseUnits {
  int x = 0;
  int y = 0;
};
inline constexpr char kBaseUnitsAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
DialogBaseUnits BaseUnitsOfFont(int alphabet_width, int font_height);

// `rect` from dialog units to pixels: x and width times base x / 4, y and height times base y
// / 8, each rounded to the nearest pixel.
DialogRect MapDialogRect(const DialogRect& rect, DialogBaseUnits units);

// A control's place and kind, in pixels, for FitCaption.
struct PlacedControl {
  ControlKind kind = ControlKind::kLeftText;
  DialogRect rect;
};

// Where a caption (LTEXT or RTEXT) `controls[caption]` stands when its text, `text_width` pixels
// wide in the dialog's font, does not fit the place the template gives it: a right-aligned
// caption grows to the left, a left-aligned one to the right (away from the field it names), up
// to `gap` pixels from the nearest control on its line, `frame_margin` pixels inside the group box
// around it, or `gap` pixels from the dialog's sides (`dialog_width` wide). Its place is kept when
// the text fits. The result may still be narrower than the text; the view then elides it.
DialogRect FitCaption(const std::vector<PlacedControl>& controls, std::size_t caption, int text_width,
                      int dialog_width, int gap, int frame_margin);
