#include "ui/win32/win32_dialog.h"

#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <string_view>

#include "ui/dialog_event_relay.h"

namespace {

// Asks the view, after the event under way, to exchange the field whose edit lost the focus.
constexpr UINT kExchangeMessage = WM_APP + 1;

// The predefined control classes of a dialog template, by atom.
constexpr WORD kButtonClass = 0x0080;
constexpr WORD kEditClass = 0x0081;
constexpr WORD kStaticClass = 0x0082;
constexpr WORD kListBoxClass = 0x0083;

std::wstring Widen(std::string_view text) {
  if (text.empty()) return {};
  const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length > 0 ? length : 0), L'\0');
  if (length > 0) MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
  return wide;
}

std::string Narrow(std::wstring_view text) {
  if (text.empty()) return {};
  const int length =
      WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<std::size_t>(length > 0 ? length : 0), '\0');
  if (length > 0) {
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), narrow.data(), length, nullptr,
                        nullptr);
  }
  return narrow;
}

// A multi-line edit breaks lines at "\r\n"; the logic's texts break them at "\n".
std::string ToWindowsLines(std::string_view text) {
  std::string lines;
  lines.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) lines += '\r';
    lines += text[i];
  }
  return lines;
}

std::string FromWindowsLines(std::string_view text) {
  std::string lines;
  lines.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    lines += text[i];
  }
  return lines;
}

// The style bits of the template's style names; names the system has no bit for give none.
struct StyleBit {
  std::string_view name;
  DWORD bits;
};

DWORD StyleBits(const std::vector<std::string>& names, std::initializer_list<StyleBit> table) {
  DWORD bits = 0;
  for (const std::string& name : names) {
    for (const StyleBit& entry : table) {
      if (entry.name == name) bits |= entry.bits;
    }
  }
  return bits;
}

DWORD DialogStyle(const DialogTemplate& dialog, bool centred) {
  DWORD style = WS_POPUP | StyleBits(dialog.styles, {{"MODALFRAME", DS_MODALFRAME},
                                                     {"CAPTION", WS_CAPTION},
                                                     {"SYSMENU", WS_SYSMENU},
                                                     {"CENTER", DS_CENTER},
                                                     {"VISIBLE", WS_VISIBLE}});
  if (!dialog.font_face.empty()) style |= DS_SETFONT;
  if (centred) style |= DS_CENTER;
  return style;
}

// The system class and the styles of `control`.
std::pair<WORD, DWORD> ControlClassAndStyle(const ControlTemplate& control) {
  const std::initializer_list<StyleBit> common = {
      {"TABSTOP", WS_TABSTOP}, {"GROUP", WS_GROUP},     {"BORDER", WS_BORDER},
      {"VSCROLL", WS_VSCROLL}, {"HSCROLL", WS_HSCROLL}, {"DISABLED", WS_DISABLED}};
  DWORD style = WS_CHILD | WS_VISIBLE | StyleBits(control.styles, common);
  switch (control.kind) {
    case ControlKind::kListBox:
      // No LBS_SORT: AddListItem places every item where the template's sort order puts it. The
      // dialog draws the items (LBS_OWNERDRAWFIXED), so that a label wider than the list ends in
      // an ellipsis; the list keeps the labels (LBS_HASSTRINGS).
      style |= LBS_OWNERDRAWFIXED | LBS_HASSTRINGS;
      style |= StyleBits(control.styles, {{"EXTENDEDSEL", LBS_EXTENDEDSEL},
                                          {"MULTIPLESEL", LBS_MULTIPLESEL},
                                          {"NOTIFY", LBS_NOTIFY},
                                          {"NOINTEGRALHEIGHT", LBS_NOINTEGRALHEIGHT}});
      return {kListBoxClass, style};
    case ControlKind::kPushButton:
      return {kButtonClass, style | BS_PUSHBUTTON};
    case ControlKind::kDefPushButton:
      return {kButtonClass, style | BS_DEFPUSHBUTTON};
    case ControlKind::kEditText:
      style |= ES_LEFT | StyleBits(control.styles, {{"AUTOHSCROLL", ES_AUTOHSCROLL},
                                                    {"AUTOVSCROLL", ES_AUTOVSCROLL},
                                                    {"MULTILINE", ES_MULTILINE},
                                                    {"PASSWORD", ES_PASSWORD},
                                                    {"READONLY", ES_READONLY}});
      return {kEditClass, style};
    // A caption the view cannot make room for ends in an ellipsis (its tool tip shows it whole).
    case ControlKind::kLeftText:
      return {kStaticClass, style | SS_LEFT | SS_ENDELLIPSIS | SS_NOPREFIX | WS_GROUP};
    case ControlKind::kRightText:
      return {kStaticClass, style | SS_RIGHT | SS_ENDELLIPSIS | SS_NOPREFIX | WS_GROUP};
    case ControlKind::kGroupBox:
    default:
      return {kButtonClass, style | BS_GROUPBOX};
  }
}

// Writes the little-endian words of a dialog template.
class TemplateWriter {
 public:
  void Word(std::uint16_t value) { Bytes(&value, sizeof value); }
  void Dword(std::uint32_t value) { Bytes(&value, sizeof value); }
  void Short(std::int16_t value) { Bytes(&value, sizeof value); }
  void Byte(std::uint8_t value) { Bytes(&value, sizeof value); }
  void Text(std::string_view utf8) {
    for (const wchar_t c : Widen(utf8)) Word(static_cast<std::uint16_t>(c));
    Word(0);
  }
  void AlignToDword() {
    while (bytes_.size() % 4 != 0) bytes_.push_back(std::byte{0});
  }
  std::vector<std::byte> Take() { return std::move(bytes_); }

 private:
  void Bytes(const void* data, std::size_t size) {
    const auto* first = static_cast<const std::byte*>(data);
    bytes_.insert(bytes_.end(), first, first + size);
  }
  std::vector<std::byte> bytes_;
};

std::int16_t DialogUnits(int value) {
  return static_cast<std::int16_t>(std::clamp(value, -32768, 32767));
}

class Win32DialogView;

INT_PTR CALLBACK DialogProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

class Win32DialogView final : public DialogView {
 public:
  Win32DialogView(const DialogTemplate& dialog, DialogEvents& events)
      : dialog_(dialog), events_(events), relay_(events, [this](int result) { EndDialog(result); }) {}
  Win32DialogView(const Win32DialogView&) = delete;
  Win32DialogView& operator=(const Win32DialogView&) = delete;

  // Builds the dialog, lets the logic initialise it, and runs it modally. Returns the result.
  int Run();

  // The dialog's messages; true when handled.
  INT_PTR OnInitDialog(HWND window);
  void OnDrawListItem(const DRAWITEMSTRUCT& item);
  // The text of the tool tip `info` asks for: the whole label under the mouse when the list
  // elides it, or the whole caption of an elided caption.
  void OnToolTipText(NMTTDISPINFOW& info);
  // The mouse moved within the list: a tool tip shown for another item goes.
  void OnListMouseMove(HWND list, LPARAM position);
  bool OnCommand(int control_id, int code);
  bool OnHelpKey();
  void OnExchangeDue();

  // DialogView.
  std::string GetControlText(int control_id) const override;
  void SetControlText(int control_id, std::string_view text) override;
  void LimitText(int control_id, int max_characters) override;
  int AddListItem(int control_id, std::string_view label, const void* data) override;
  const void* GetListItemData(int control_id, int index) const override;
  int GetListSelectedCount(int control_id) const override;
  std::vector<int> GetListSelectedItems(int control_id, int max_items) const override;
  void ShowPrompt(int control_id, std::string_view text) override;
  void EndDialog(int result) override;

 private:
  HWND Control(int control_id) const { return window_ == nullptr ? nullptr : GetDlgItem(window_, control_id); }
  void FitCaptions();
  void AddToolTips();
  // Whether `text` is wider, in `window`'s font, than `width` pixels.
  static bool TooWide(HWND window, const std::wstring& text, int width);
  std::wstring ListLabel(HWND list, int index) const;
  bool IsMultiline(int control_id) const;
  bool IsMultipleSelection(int control_id) const;
  void FocusLeft(int control_id);

  const DialogTemplate& dialog_;
  DialogEvents& events_;
  HWND window_ = nullptr;
  HWND tool_tip_ = nullptr;
  std::map<UINT_PTR, std::wstring> elided_captions_;  // by tool identifier: the whole caption
  int hovered_item_ = -1;                               // the list item under the mouse
  std::wstring tip_text_;                               // the text the tool tip shows now
  std::map<int, std::vector<std::string>> labels_;  // each list's labels, in list order
  int result_ = kDialogEndedItself;
  DialogEventRelay relay_;
};

int Win32DialogView::Run() {
  const std::vector<std::byte> bytes = BuildDialogTemplateEx(dialog_);
  HMODULE module = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&DialogProcedure), &module);
  // The dialog manager runs the modal loop; it disables no owner, since the dialog has none.
  DialogBoxIndirectParamW(module, reinterpret_cast<LPCDLGTEMPLATEW>(bytes.data()), nullptr, DialogProcedure,
                          reinterpret_cast<LPARAM>(this));
  // The tool tip, owned by the dialog, went with it.
  window_ = nullptr;
  tool_tip_ = nullptr;
  events_.OnDialogClosed();
  // A dialog that could not be created, or whose loop ended without EndDialog, ended itself.
  return relay_.ended() ? result_ : kDialogEndedItself;
}

INT_PTR Win32DialogView::OnInitDialog(HWND window) {
  window_ = window;
  FitCaptions();
  // Owner-drawn items are one line of the dialog's font high, with a pixel above and below.
  for (const ControlTemplate& control : dialog_.controls) {
    if (control.kind != ControlKind::kListBox) continue;
    HWND list = Control(control.id);
    TEXTMETRICW metrics{};
    HDC context = GetDC(list);
    HGDIOBJ previous = SelectObject(context, reinterpret_cast<HGDIOBJ>(SendMessageW(list, WM_GETFONT, 0, 0)));
    GetTextMetricsW(context, &metrics);
    SelectObject(context, previous);
    ReleaseDC(list, context);
    SendMessageW(list, LB_SETITEMHEIGHT, 0, MAKELPARAM(metrics.tmHeight + 2, 0));
  }
  AddToolTips();
  bool focus_first = true;
  relay_.Deliver([&] { focus_first = events_.OnInitDialog(*this); });
  // Returning TRUE lets the dialog manager put the focus on the first tab stop.
  return focus_first ? TRUE : FALSE;
}

bool Win32DialogView::TooWide(HWND window, const std::wstring& text, int width) {
  HDC context = GetDC(window);
  HGDIOBJ previous = SelectObject(context, reinterpret_cast<HGDIOBJ>(SendMessageW(window, WM_GETFONT, 0, 0)));
  SIZE size{};
  GetTextExtentPoint32W(context, text.c_str(), static_cast<int>(text.size()), &size);
  SelectObject(context, previous);
  ReleaseDC(window, context);
  return size.cx > width;
}

// The template places each caption for the original font; the font here may be wider. A caption
// whose text is wider than its place grows away from its field as FitCaption allows; what still
// does not fit ends in an ellipsis (SS_ENDELLIPSIS) and gets a tool tip (AddToolTips).
void Win32DialogView::FitCaptions() {
  RECT unit{0, 0, 4, 0};
  MapDialogRect(window_, &unit);
  const int gap = unit.right;
  RECT margin{0, 0, 2, 0};
  MapDialogRect(window_, &margin);
  RECT client{};
  GetClientRect(window_, &client);
  std::vector<PlacedControl> placed;
  std::vector<HWND> windows;
  for (HWND child = GetWindow(window_, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
    RECT area{};
    GetWindowRect(child, &area);
    MapWindowPoints(nullptr, window_, reinterpret_cast<POINT*>(&area), 2);
    const std::size_t index = windows.size();
    if (index >= dialog_.controls.size()) break;
    placed.push_back({dialog_.controls[index].kind, {area.left, area.top, area.right - area.left, area.bottom - area.top}});
    windows.push_back(child);
  }
  for (std::size_t i = 0; i < placed.size(); ++i) {
    if (placed[i].kind != ControlKind::kLeftText && placed[i].kind != ControlKind::kRightText) continue;
    const std::wstring text = Widen(dialog_.controls[i].text);
    HDC context = GetDC(windows[i]);
    HGDIOBJ previous = SelectObject(context, reinterpret_cast<HGDIOBJ>(SendMessageW(windows[i], WM_GETFONT, 0, 0)));
    SIZE size{};
    GetTextExtentPoint32W(context, text.c_str(), static_cast<int>(text.size()), &size);
    SelectObject(context, previous);
    ReleaseDC(windows[i], context);
    const DialogRect place = FitCaption(placed, i, size.cx, client.right, gap, margin.right);
    if (place == placed[i].rect) continue;
    MoveWindow(windows[i], place.x, place.y, place.width, place.height, TRUE);
    placed[i].rect = place;
  }
}

void Win32DialogView::AddToolTips() {
  INITCOMMONCONTROLSEX classes{sizeof classes, ICC_WIN95_CLASSES};
  InitCommonControlsEx(&classes);
  tool_tip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP,
                              CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, window_, nullptr, nullptr,
                              nullptr);
  if (tool_tip_ == nullptr) return;
  SendMessageW(tool_tip_, TTM_SETMAXTIPWIDTH, 0, 600);
  std::size_t index = 0;
  for (HWND child = GetWindow(window_, GW_CHILD); child != nullptr && index < dialog_.controls.size();
       child = GetWindow(child, GW_HWNDNEXT), ++index) {
    const ControlTemplate& control = dialog_.controls[index];
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.hwnd = window_;
    tool.lpszText = LPSTR_TEXTCALLBACKW;
    if (control.kind == ControlKind::kListBox) {
      // The list tells its own mouse moves to the tool tip.
      tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
      tool.uId = reinterpret_cast<UINT_PTR>(child);
      SendMessageW(tool_tip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
      continue;
    }
    if (control.kind != ControlKind::kLeftText && control.kind != ControlKind::kRightText) continue;
    RECT area{};
    GetClientRect(child, &area);
    const std::wstring text = Widen(control.text);
    if (!TooWide(child, text, area.right)) continue;
    // A static text lets the mouse through to the dialog: the tool is the caption's place there.
    GetWindowRect(child, &tool.rect);
    MapWindowPoints(nullptr, window_, reinterpret_cast<POINT*>(&tool.rect), 2);
    tool.uFlags = TTF_SUBCLASS;
    tool.uId = 1 + index;
    elided_captions_[tool.uId] = text;
    SendMessageW(tool_tip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
  }
}

std::wstring Win32DialogView::ListLabel(HWND list, int index) const {
  const LRESULT length = SendMessageW(list, LB_GETTEXTLEN, static_cast<WPARAM>(index), 0);
  if (length == LB_ERR) return {};
  std::wstring label(static_cast<std::size_t>(length) + 1, L'\0');
  const LRESULT copied = SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(label.data()));
  label.resize(static_cast<std::size_t>(copied == LB_ERR ? 0 : copied));
  return label;
}

// The item's text stands two pixels in from either side of the item.
constexpr int kItemTextMargin = 2;

void Win32DialogView::OnDrawListItem(const DRAWITEMSTRUCT& item) {
  if (item.itemID == static_cast<UINT>(-1)) {
    // An empty list with the focus shows only the focus rectangle.
    if ((item.itemState & ODS_FOCUS) != 0) DrawFocusRect(item.hDC, &item.rcItem);
    return;
  }
  if (item.itemAction == ODA_FOCUS) {
    DrawFocusRect(item.hDC, &item.rcItem);
    return;
  }
  const bool selected = (item.itemState & ODS_SELECTED) != 0;
  FillRect(item.hDC, &item.rcItem, GetSysColorBrush(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
  const std::wstring label = ListLabel(item.hwndItem, static_cast<int>(item.itemID));
  const COLORREF text_color = SetTextColor(item.hDC, GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
  const int mode = SetBkMode(item.hDC, TRANSPARENT);
  HGDIOBJ previous = SelectObject(item.hDC, reinterpret_cast<HGDIOBJ>(SendMessageW(item.hwndItem, WM_GETFONT, 0, 0)));
  RECT text = item.rcItem;
  text.left += kItemTextMargin;
  text.right -= kItemTextMargin;
  DrawTextW(item.hDC, label.c_str(), static_cast<int>(label.size()), &text,
            DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
  SelectObject(item.hDC, previous);
  SetBkMode(item.hDC, mode);
  SetTextColor(item.hDC, text_color);
  if ((item.itemState & ODS_FOCUS) != 0) DrawFocusRect(item.hDC, &item.rcItem);
}

void Win32DialogView::OnToolTipText(NMTTDISPINFOW& info) {
  tip_text_.clear();
  if ((info.uFlags & TTF_IDISHWND) != 0) {
    HWND list = reinterpret_cast<HWND>(info.hdr.idFrom);
    POINT cursor{};
    GetCursorPos(&cursor);
    ScreenToClient(list, &cursor);
    const LRESULT hit = SendMessageW(list, LB_ITEMFROMPOINT, 0, MAKELPARAM(cursor.x, cursor.y));
    hovered_item_ = HIWORD(hit) != 0 ? -1 : static_cast<int>(LOWORD(hit));
    RECT area{};
    if (hovered_item_ >= 0 && SendMessageW(list, LB_GETITEMRECT, static_cast<WPARAM>(hovered_item_),
                                           reinterpret_cast<LPARAM>(&area)) != LB_ERR) {
      std::wstring label = ListLabel(list, hovered_item_);
      if (TooWide(list, label, area.right - area.left - 2 * kItemTextMargin)) tip_text_ = std::move(label);
    }
  } else {
    const auto found = elided_captions_.find(info.hdr.idFrom);
    if (found != elided_captions_.end()) tip_text_ = found->second;
  }
  // An empty text shows no tool tip.
  info.lpszText = tip_text_.data();
  info.hinst = nullptr;
}

void Win32DialogView::OnListMouseMove(HWND list, LPARAM position) {
  if (tool_tip_ == nullptr) return;
  const LRESULT hit = SendMessageW(list, LB_ITEMFROMPOINT, 0, position);
  const int item = HIWORD(hit) != 0 ? -1 : static_cast<int>(LOWORD(hit));
  if (item == hovered_item_) return;
  hovered_item_ = item;
  // The tool tip asks for its text again when it shows next.
  SendMessageW(tool_tip_, TTM_POP, 0, 0);
  SendMessageW(tool_tip_, TTM_UPDATE, 0, 0);
}

bool Win32DialogView::OnCommand(int control_id, int code) {
  switch (control_id) {
    case kIdOk:
    case kIdCancel:
    case kIdHelp:
      // Enter and Escape arrive as commands of OK and Cancel with code 0, as a click does.
      if (code != BN_CLICKED) return false;
      relay_.ButtonClicked(control_id);
      return true;
    case kIdMeasurementList:
      if (code != LBN_SELCHANGE) return false;
      relay_.Deliver([this] { events_.OnSelchangeMeasurements(); });
      return true;
    case kIdPort:
    case kIdUrl:
    case kIdLogin:
    case kIdPassword:
      if (code != EN_KILLFOCUS) return false;
      FocusLeft(control_id);
      return true;
    default:
      return false;
  }
}

bool Win32DialogView::OnHelpKey() {
  bool handled = false;
  relay_.Deliver([&] { handled = events_.OnHelpInfo(); });
  return handled;
}

void Win32DialogView::FocusLeft(int control_id) {
  if (relay_.FieldLeft(control_id)) PostMessageW(window_, kExchangeMessage, 0, 0);
}

void Win32DialogView::OnExchangeDue() {
  if (!relay_.exchange_owed()) return;
  // The focus left for another window (a prompt, another program): no move within the dialog.
  HWND focus = GetFocus();
  if (focus == nullptr || (focus != window_ && !IsChild(window_, focus))) {
    relay_.ForgetExchange();
    return;
  }
  relay_.ExchangeDue();
}

bool Win32DialogView::IsMultiline(int control_id) const {
  return (GetWindowLongW(Control(control_id), GWL_STYLE) & ES_MULTILINE) != 0;
}

bool Win32DialogView::IsMultipleSelection(int control_id) const {
  return (GetWindowLongW(Control(control_id), GWL_STYLE) & (LBS_EXTENDEDSEL | LBS_MULTIPLESEL)) != 0;
}

std::string Win32DialogView::GetControlText(int control_id) const {
  HWND control = Control(control_id);
  if (control == nullptr) return {};
  const int length = GetWindowTextLengthW(control);
  std::wstring text(static_cast<std::size_t>(length > 0 ? length : 0) + 1, L'\0');
  const int copied = GetWindowTextW(control, text.data(), static_cast<int>(text.size()));
  text.resize(static_cast<std::size_t>(copied > 0 ? copied : 0));
  const std::string narrow = Narrow(text);
  return IsMultiline(control_id) ? FromWindowsLines(narrow) : narrow;
}

void Win32DialogView::SetControlText(int control_id, std::string_view text) {
  HWND control = Control(control_id);
  if (control == nullptr) return;
  // The edit's limit holds back only what the user types, never a text put there this way.
  const std::wstring wide = Widen(IsMultiline(control_id) ? ToWindowsLines(text) : std::string(text));
  SetWindowTextW(control, wide.c_str());
}

void Win32DialogView::LimitText(int control_id, int max_characters) {
  HWND control = Control(control_id);
  const ControlTemplate* entry = dialog_.FindControl(control_id);
  if (control == nullptr || entry == nullptr || entry->kind != ControlKind::kEditText) return;
  SendMessageW(control, EM_SETLIMITTEXT, static_cast<WPARAM>(std::max(max_characters, 0)), 0);
}

int Win32DialogView::AddListItem(int control_id, std::string_view label, const void* data) {
  HWND list = Control(control_id);
  const ControlTemplate* control = dialog_.FindControl(control_id);
  if (list == nullptr || control == nullptr || control->kind != ControlKind::kListBox) return -1;
  std::vector<std::string>& labels = labels_[control_id];
  const std::size_t position = control->HasStyle("SORT") ? ListSortPosition(labels, label) : labels.size();
  const std::wstring wide = Widen(label);
  const LRESULT index = SendMessageW(list, LB_INSERTSTRING, position, reinterpret_cast<LPARAM>(wide.c_str()));
  if (index == LB_ERR || index == LB_ERRSPACE) return -1;
  labels.insert(labels.begin() + static_cast<std::ptrdiff_t>(index), std::string(label));
  SendMessageW(list, LB_SETITEMDATA, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(data));
  return static_cast<int>(index);
}

const void* Win32DialogView::GetListItemData(int control_id, int index) const {
  HWND list = Control(control_id);
  if (list == nullptr || index < 0 || index >= SendMessageW(list, LB_GETCOUNT, 0, 0)) return nullptr;
  return reinterpret_cast<const void*>(SendMessageW(list, LB_GETITEMDATA, static_cast<WPARAM>(index), 0));
}

int Win32DialogView::GetListSelectedCount(int control_id) const {
  HWND list = Control(control_id);
  if (list == nullptr) return 0;
  if (!IsMultipleSelection(control_id)) return SendMessageW(list, LB_GETCURSEL, 0, 0) == LB_ERR ? 0 : 1;
  const LRESULT count = SendMessageW(list, LB_GETSELCOUNT, 0, 0);
  return count == LB_ERR ? 0 : static_cast<int>(count);
}

std::vector<int> Win32DialogView::GetListSelectedItems(int control_id, int max_items) const {
  std::vector<int> rows;
  HWND list = Control(control_id);
  if (list == nullptr) return rows;
  if (!IsMultipleSelection(control_id)) {
    const LRESULT current = SendMessageW(list, LB_GETCURSEL, 0, 0);
    if (current != LB_ERR) rows.push_back(static_cast<int>(current));
  } else {
    const LRESULT count = SendMessageW(list, LB_GETSELCOUNT, 0, 0);
    if (count > 0) {
      std::vector<INT> selected(static_cast<std::size_t>(count));
      const LRESULT got = SendMessageW(list, LB_GETSELITEMS, static_cast<WPARAM>(count),
                                       reinterpret_cast<LPARAM>(selected.data()));
      if (got > 0) rows.assign(selected.begin(), selected.begin() + got);
    }
  }
  std::sort(rows.begin(), rows.end());
  if (max_items >= 0 && rows.size() > static_cast<std::size_t>(max_items)) rows.resize(static_cast<std::size_t>(max_items));
  return rows;
}

void Win32DialogView::ShowPrompt(int control_id, std::string_view text) {
  // The prompt takes the focus from the dialog and gives it back to the refused control; neither
  // move is a focus loss the logic hears of.
  relay_.SetPrompting(true);
  const std::wstring caption = Widen(dialog_.caption);
  const std::wstring message = Widen(text);
  MessageBoxW(window_, message.c_str(), caption.c_str(), MB_OK | MB_ICONEXCLAMATION);
  HWND control = Control(control_id);
  if (control != nullptr && !relay_.ended()) {
    SetFocus(control);
    const ControlTemplate* entry = dialog_.FindControl(control_id);
    if (entry != nullptr && entry->kind == ControlKind::kEditText) SendMessageW(control, EM_SETSEL, 0, -1);
  }
  // Focus losses the prompt caused are still in the queue; they belong to it.
  relay_.ForgetExchange();
  relay_.SetPrompting(false);
}

void Win32DialogView::EndDialog(int result) {
  if (!relay_.MarkEnded()) return;
  result_ = result;
  if (window_ != nullptr) ::EndDialog(window_, result);
}

INT_PTR CALLBACK DialogProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrW(window, DWLP_USER, lparam);
    return reinterpret_cast<Win32DialogView*>(lparam)->OnInitDialog(window);
  }
  auto* view = reinterpret_cast<Win32DialogView*>(GetWindowLongPtrW(window, DWLP_USER));
  if (view == nullptr) return FALSE;
  switch (message) {
    case WM_COMMAND:
      return view->OnCommand(LOWORD(wparam), HIWORD(wparam)) ? TRUE : FALSE;
    case WM_HELP:
      // F1 anywhere in the dialog.
      if (!view->OnHelpKey()) return FALSE;
      SetWindowLongPtrW(window, DWLP_MSGRESULT, TRUE);
      return TRUE;
    case kExchangeMessage:
      view->OnExchangeDue();
      return TRUE;
    case WM_DRAWITEM: {
      const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lparam);
      if (item->CtlType != ODT_LISTBOX) return FALSE;
      view->OnDrawListItem(*item);
      return TRUE;
    }
    case WM_NOTIFY: {
      auto* header = reinterpret_cast<NMHDR*>(lparam);
      if (header->code != TTN_GETDISPINFOW) return FALSE;
      view->OnToolTipText(*reinterpret_cast<NMTTDISPINFOW*>(lparam));
      return TRUE;
    }
    case WM_SETCURSOR:
      // The mouse over a control: the list's moves decide which item's tool tip may show.
      if (LOWORD(lparam) == HTCLIENT && HIWORD(lparam) == WM_MOUSEMOVE &&
          GetDlgCtrlID(reinterpret_cast<HWND>(wparam)) == kIdMeasurementList) {
        POINT cursor{};
        GetCursorPos(&cursor);
        ScreenToClient(reinterpret_cast<HWND>(wparam), &cursor);
        view->OnListMouseMove(reinterpret_cast<HWND>(wparam), MAKELPARAM(cursor.x, cursor.y));
      }
      return FALSE;
    default:
      return FALSE;
  }
}

}  // namespace

std::vector<std::byte> BuildDialogTemplateEx(const DialogTemplate& dialog, bool centred) {
  TemplateWriter out;
  out.Word(1);       // dlgVer
  out.Word(0xFFFF);  // signature: extended template
  out.Dword(0);      // helpID
  out.Dword(0);      // exStyle
  out.Dword(DialogStyle(dialog, centred));
  out.Word(static_cast<std::uint16_t>(dialog.controls.size()));
  out.Short(0);  // x, y: placed by DS_CENTER or at the origin
  out.Short(0);
  out.Short(DialogUnits(dialog.width));
  out.Short(DialogUnits(dialog.height));
  out.Word(0);  // no menu
  out.Word(0);  // the system's dialog class
  out.Text(dialog.caption);
  if (!dialog.font_face.empty()) {
    out.Word(static_cast<std::uint16_t>(dialog.point_size > 0 ? dialog.point_size : 8));
    out.Word(FW_NORMAL);
    out.Byte(FALSE);            // italic
    out.Byte(DEFAULT_CHARSET);  // the face decides
    out.Text(dialog.font_face);
  }
  for (const ControlTemplate& control : dialog.controls) {
    out.AlignToDword();
    const auto [class_atom, style] = ControlClassAndStyle(control);
    out.Dword(0);  // helpID
    out.Dword(0);  // exStyle
    out.Dword(style);
    out.Short(DialogUnits(control.rect.x));
    out.Short(DialogUnits(control.rect.y));
    out.Short(DialogUnits(control.rect.width));
    out.Short(DialogUnits(control.rect.height));
    // An item without identifier carries 0xFFFF, as the resource compiler writes IDC_STATIC.
    out.Dword(control.id == -1 ? 0xFFFFu : static_cast<std::uint32_t>(control.id));
    out.Word(0xFFFF);
    out.Word(class_atom);
    out.Text(control.text);
    out.Word(0);  // no creation data
  }
  return out.Take();
}

Win32DialogToolkit& Win32DialogToolkit::Instance() {
  static Win32DialogToolkit toolkit;
  return toolkit;
}

bool Win32DialogToolkit::CanShowDialog(std::string* reason) {
  // A service's window station has no display: a dialog there would wait for a user who cannot
  // see it.
  HWINSTA station = GetProcessWindowStation();
  USEROBJECTFLAGS flags{};
  if (station != nullptr && GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof flags, nullptr) &&
      (flags.dwFlags & WSF_VISIBLE) == 0) {
    if (reason != nullptr) *reason = "the process runs in a window station without a display";
    return false;
  }
  return true;
}

int Win32DialogToolkit::DoModal(const DialogTemplate& dialog, DialogEvents& events) {
  Win32DialogView view(dialog, events);
  return view.Run();
}

DialogToolkit& PlatformDialogToolkit() { return Win32DialogToolkit::Instance(); }
