#include "ui/qt/qt_dialog.h"

#include <QApplication>
#include <QDialog>
#include <QFocusEvent>
#include <QFont>
#include <QFontMetrics>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QHelpEvent>
#include <QMessageBox>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QStyle>
#include <QToolTip>

#include <algorithm>
#include <map>
#include <memory>
#include <vector>

#include "ui/dialog_event_relay.h"
#include "ui/qt/application_scope.h"

namespace {

// The template's faces belong to the original window system and Linux has neither, so each is
// mapped to the closest installed font at the template's point size: "MS Sans Serif", a small
// sans-serif face for dialogs, to DejaVu Sans; "宋体" (SimSun) to WenQuanYi Micro Hei, which holds
// the Chinese texts. The generic names follow in case neither is installed.
QFont DialogFont(const DialogTemplate& dialog) {
  QStringList families;
  if (dialog.font_face == "宋体") families = {"WenQuanYi Micro Hei", "Noto Sans CJK SC", "Sans Serif"};
  else families = {"DejaVu Sans", "Sans Serif"};
  QFont font;
  font.setFamilies(families);
  font.setPointSize(dialog.point_size > 0 ? dialog.point_size : 8);
  return font;
}

QString FromUtf8(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

// Whether losing the focus for `reason` is a move to another control of the dialog, rather than
// the window losing the focus (to a prompt, another window or a menu).
bool MovesWithinDialog(Qt::FocusReason reason) {
  return reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason && reason != Qt::MenuBarFocusReason;
}

// A group box drawn the way the template's window system draws one: the frame runs around the
// whole control, its top edge through the middle of the title line, and the title stands on that
// edge, inside the frame's left and right sides, with the frame broken behind it. (Qt's own
// styles put the title above a frame that starts lower down, so the template's controls, placed
// one title line below the box's top, would cross the frame.) A title too wide for the box is
// elided.
class DialogGroupBox final : public QGroupBox {
 public:
  DialogGroupBox(const QString& title, QWidget* parent) : QGroupBox(title, parent) {}

  // Where the title stands: one average character in from the frame's left side, as wide as its
  // text (with a little space either side), at most up to one character from the right side.
  QRect TitleRect() const {
    const QFontMetrics metrics(font());
    const int indent = metrics.averageCharWidth();
    const int available = std::max(0, width() - 2 * indent);
    const int wanted = metrics.horizontalAdvance(QString(title()).remove('&')) + 2 * kTitlePadding;
    return {indent, 0, std::min(wanted, available), metrics.height()};
  }
  // The frame's outer edge: the whole control but the upper half of the title line.
  QRect FrameRect() const {
    const int title_middle = QFontMetrics(font()).height() / 2;
    return QRect(0, title_middle, width(), height() - title_middle);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    // An etched frame: a shadow line and a light line one pixel lower right.
    const QRect frame = FrameRect();
    painter.setPen(palette().color(QPalette::Light));
    painter.drawRect(frame.adjusted(1, 1, -1, -1));
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(frame.adjusted(0, 0, -2, -2));
    const QRect title_rect = TitleRect();
    if (title().isEmpty() || title_rect.width() <= 2 * kTitlePadding) return;
    painter.fillRect(title_rect, palette().color(QPalette::Window));
    const QRect text_rect = title_rect.adjusted(kTitlePadding, 0, -kTitlePadding, 0);
    const QFontMetrics metrics(font());
    const QString plain = QString(title()).remove('&');
    const QString shown = metrics.horizontalAdvance(plain) <= text_rect.width()
                              ? title()
                              : metrics.elidedText(plain, Qt::ElideRight, text_rect.width());
    style()->drawItemText(&painter, text_rect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextShowMnemonic, palette(),
                          isEnabled(), shown, QPalette::WindowText);
  }

 private:
  static constexpr int kTitlePadding = 2;
};

class QtDialogView;

// The modal window. Escape and the close button ask the logic to cancel; F1 asks for help.
class DialogWindow final : public QDialog {
 public:
  explicit DialogWindow(QtDialogView& view) : view_(view) {}

  void reject() override;

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QtDialogView& view_;
};

class QtDialogView final : public DialogView {
 public:
  QtDialogView(const DialogTemplate& dialog, DialogEvents& events)
      : dialog_(dialog), events_(events), relay_(events, [this](int result) { EndDialog(result); }) {}
  ~QtDialogView() override { window_.reset(); }
  QtDialogView(const QtDialogView&) = delete;
  QtDialogView& operator=(const QtDialogView&) = delete;

  // Builds the window, lets the logic initialise it, and runs it modally. Returns the result.
  int Run();

  // Events from the window.
  void CancelRequested() { relay_.Deliver([this] { events_.OnCancel(); }); }
  void HelpKey() { relay_.Deliver([this] { events_.OnHelpInfo(); }); }
  void FocusLeft(QWidget* edit, Qt::FocusReason reason);
  // Gives every item of `list` whose label the list elides its whole label as the tool tip, and
  // takes it from those shown whole.
  void UpdateListToolTips(QListWidget* list);

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
  void Build();
  QWidget* AddControl(const ControlTemplate& control, std::size_t index, DialogBaseUnits units);
  void FitCaptions(DialogBaseUnits units);
  void UpdateListToolTip(QListWidget* list, QListWidgetItem* item);
  QWidget* Control(int control_id) const;
  QListWidget* List(int control_id) const { return qobject_cast<QListWidget*>(Control(control_id)); }

  // Runs `call` into the logic after the event under way and every one posted before it.
  template <typename Call>
  void DeliverLater(Call call) {
    QMetaObject::invokeMethod(window_.get(), [this, call] { relay_.Deliver(call); }, Qt::QueuedConnection);
  }

  const DialogTemplate& dialog_;
  DialogEvents& events_;
  std::unique_ptr<DialogWindow> window_;
  std::map<int, QWidget*> controls_;                // by identifier; owned by the window
  std::map<int, std::vector<std::string>> labels_;  // each list's labels, in list order
  std::map<int, int> text_limits_;                  // each limited edit's limit
  std::vector<std::pair<const ControlTemplate*, QWidget*>> widgets_;  // every control, in template order
  std::vector<QWidget*> tab_stops_;                 // in tab order
  QWidget* first_tab_stop_ = nullptr;
  bool running_ = false;
  int result_ = kDialogEndedItself;
  DialogEventRelay relay_;
};

void DialogWindow::reject() { view_.CancelRequested(); }

void DialogWindow::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_F1 && event->modifiers() == Qt::NoModifier) {
    view_.HelpKey();
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

bool DialogWindow::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Resize) {
    // A list's viewport got its size: which labels it has to elide is known now.
    if (auto* list = qobject_cast<QListWidget*>(watched->parent())) view_.UpdateListToolTips(list);
  }
  if (event->type() == QEvent::FocusOut) {
    if (auto* edit = qobject_cast<QWidget*>(watched)) view_.FocusLeft(edit, static_cast<QFocusEvent*>(event)->reason());
  }
  return QDialog::eventFilter(watched, event);
}

int QtDialogView::Run() {
  Build();
  bool focus_first = true;
  relay_.Deliver([&] { focus_first = events_.OnInitDialog(*this); });
  if (!relay_.ended()) {
    if (focus_first && first_tab_stop_ != nullptr) first_tab_stop_->setFocus(Qt::OtherFocusReason);
    running_ = true;
    window_->exec();
    running_ = false;
  }
  events_.OnDialogClosed();
  return result_;
}

void QtDialogView::Build() {
  window_ = std::make_unique<DialogWindow>(*this);
  window_->setObjectName("AddMeasurements");
  window_->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint);
  window_->setWindowTitle(FromUtf8(dialog_.caption));
  const QFont font = DialogFont(dialog_);
  window_->setFont(font);
  const QFontMetrics metrics(font);
  const DialogBaseUnits units = BaseUnitsOfFont(metrics.horizontalAdvance(QString(kBaseUnitsAlphabet)), metrics.height());
  const DialogRect client = MapDialogRect({0, 0, dialog_.width, dialog_.height}, units);
  window_->setFixedSize(client.width, client.height);

  std::vector<QWidget*> group_boxes;
  for (std::size_t i = 0; i < dialog_.controls.size(); ++i) {
    QWidget* widget = AddControl(dialog_.controls[i], i, units);
    if (dialog_.controls[i].kind == ControlKind::kGroupBox) group_boxes.push_back(widget);
  }
  // Group boxes only frame the controls they surround: they lie beneath them and let every
  // click through.
  for (QWidget* box : group_boxes) box->lower();
  FitCaptions(units);
  for (std::size_t i = 1; i < tab_stops_.size(); ++i) QWidget::setTabOrder(tab_stops_[i - 1], tab_stops_[i]);
  if (!tab_stops_.empty()) first_tab_stop_ = tab_stops_.front();
}

QWidget* QtDialogView::AddControl(const ControlTemplate& control, std::size_t index, DialogBaseUnits units) {
  QWidget* parent = window_.get();
  const QString text = FromUtf8(control.text);
  const bool tab_stop = control.HasStyle("TABSTOP");
  QWidget* widget = nullptr;
  switch (control.kind) {
    case ControlKind::kListBox: {
      auto* list = new QListWidget(parent);
      list->setTextElideMode(Qt::ElideRight);
      list->viewport()->installEventFilter(window_.get());
      if (control.HasStyle("EXTENDEDSEL")) list->setSelectionMode(QAbstractItemView::ExtendedSelection);
      else if (control.HasStyle("MULTIPLESEL")) list->setSelectionMode(QAbstractItemView::MultiSelection);
      else list->setSelectionMode(QAbstractItemView::SingleSelection);
      list->setVerticalScrollBarPolicy(control.HasStyle("VSCROLL") ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
      list->setHorizontalScrollBarPolicy(control.HasStyle("HSCROLL") ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
      list->setFrameShape(control.HasStyle("BORDER") ? QFrame::StyledPanel : QFrame::NoFrame);
      list->setUniformItemSizes(true);
      if (control.HasStyle("NOTIFY")) {
        QObject::connect(list, &QListWidget::itemSelectionChanged, window_.get(),
                         [this] { DeliverLater([this] { events_.OnSelchangeMeasurements(); }); });
      }
      widget = list;
      break;
    }
    case ControlKind::kPushButton:
    case ControlKind::kDefPushButton: {
      auto* button = new QPushButton(text, parent);
      button->setAutoDefault(true);
      button->setDefault(control.kind == ControlKind::kDefPushButton);
      const int id = control.id;
      QObject::connect(button, &QPushButton::clicked, window_.get(), [this, id] { relay_.ButtonClicked(id); });
      widget = button;
      break;
    }
    case ControlKind::kEditText: {
      if (control.HasStyle("MULTILINE")) {
        auto* edit = new QPlainTextEdit(text, parent);
        edit->setReadOnly(control.HasStyle("READONLY"));
        edit->setVerticalScrollBarPolicy(control.HasStyle("VSCROLL") ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
        edit->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        edit->setLineWrapMode(QPlainTextEdit::WidgetWidth);
        edit->setFrameShape(control.HasStyle("BORDER") ? QFrame::StyledPanel : QFrame::NoFrame);
        widget = edit;
      } else {
        auto* edit = new QLineEdit(text, parent);
        edit->setFrame(control.HasStyle("BORDER"));
        edit->setReadOnly(control.HasStyle("READONLY"));
        if (control.HasStyle("PASSWORD")) edit->setEchoMode(QLineEdit::Password);
        // Every single-line edit tells the logic when it loses the focus.
        edit->installEventFilter(window_.get());
        widget = edit;
      }
      break;
    }
    case ControlKind::kLeftText:
    case ControlKind::kRightText: {
      auto* label = new QLabel(text, parent);
      label->setAlignment((control.kind == ControlKind::kRightText ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignTop);
      label->setAttribute(Qt::WA_TransparentForMouseEvents);
      widget = label;
      break;
    }
    case ControlKind::kGroupBox:
    default: {
      auto* box = new DialogGroupBox(text, parent);
      box->setAttribute(Qt::WA_TransparentForMouseEvents);
      box->setFocusPolicy(Qt::NoFocus);
      widget = box;
      break;
    }
  }
  const DialogRect rect = MapDialogRect(control.rect, units);
  widget->setGeometry(rect.x, rect.y, rect.width, rect.height);
  widgets_.emplace_back(&control, widget);
  if (control.id != -1) {
    widget->setObjectName(QString("control-%1").arg(control.id));
    controls_[control.id] = widget;
  } else {
    widget->setObjectName(QString("static-%1").arg(index));
  }
  const bool takes_focus = control.kind == ControlKind::kListBox || control.kind == ControlKind::kPushButton ||
                           control.kind == ControlKind::kDefPushButton || control.kind == ControlKind::kEditText;
  if (takes_focus) {
    // A control that is no tab stop still takes the focus when clicked.
    widget->setFocusPolicy(tab_stop ? Qt::StrongFocus : Qt::ClickFocus);
    if (tab_stop) tab_stops_.push_back(widget);
  } else {
    widget->setFocusPolicy(Qt::NoFocus);
  }
  return widget;
}

// The template places each caption for the original system's font; the font here may be wider.
// A caption whose text, measured in the dialog's font, is wider than its place grows away from
// the field it names (a right-aligned caption to the left, a left-aligned one to the right) as far
// as the next control or the frame around it allows, keeping the template's gap; what still does
// not fit is elided, with the whole caption as the tool tip.
void QtDialogView::FitCaptions(DialogBaseUnits units) {
  const int gap = MapDialogRect({0, 0, 4, 0}, units).width;
  const int frame_margin = MapDialogRect({0, 0, 2, 0}, units).width;
  std::vector<PlacedControl> placed;
  for (const auto& [control, widget] : widgets_) {
    const QRect area = widget->geometry();
    placed.push_back({control->kind, {area.x(), area.y(), area.width(), area.height()}});
  }
  for (std::size_t i = 0; i < widgets_.size(); ++i) {
    auto* label = qobject_cast<QLabel*>(widgets_[i].second);
    if (label == nullptr) continue;
    const QFontMetrics metrics(label->font());
    const QString text = label->text();
    const int needed = metrics.horizontalAdvance(text);
    const DialogRect place = FitCaption(placed, i, needed, window_->width(), gap, frame_margin);
    label->setGeometry(place.x, place.y, place.width, place.height);
    placed[i].rect = place;
    if (needed > place.width) {
      label->setText(metrics.elidedText(text, Qt::ElideRight, place.width));
      label->setToolTip(text);
      // A tool tip needs the mouse.
      label->setAttribute(Qt::WA_TransparentForMouseEvents, false);
    }
  }
}

void QtDialogView::UpdateListToolTip(QListWidget* list, QListWidgetItem* item) {
  // The item's text stands inside the item by the style's focus frame margin and one pixel.
  const int margin = list->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, list) + 1;
  const QRect rect = list->visualItemRect(item);
  const int width = (rect.width() > 0 ? rect.width() : list->viewport()->width()) - 2 * margin;
  const bool elided = QFontMetrics(list->font()).horizontalAdvance(item->text()) > width;
  item->setToolTip(elided ? item->text() : QString());
}

void QtDialogView::UpdateListToolTips(QListWidget* list) {
  for (int row = 0; row < list->count(); ++row) UpdateListToolTip(list, list->item(row));
}

void QtDialogView::FocusLeft(QWidget* edit, Qt::FocusReason reason) {
  if (relay_.prompting() || relay_.ended() || !MovesWithinDialog(reason)) return;
  int field = 0;
  for (const auto& [id, widget] : controls_) {
    if (widget == edit) field = id;
  }
  if (field != kIdUrl && field != kIdPort && field != kIdLogin && field != kIdPassword) return;
  if (relay_.FieldLeft(field)) {
    QMetaObject::invokeMethod(window_.get(), [this] { relay_.ExchangeDue(); }, Qt::QueuedConnection);
  }
}

QWidget* QtDialogView::Control(int control_id) const {
  const auto found = controls_.find(control_id);
  return found == controls_.end() ? nullptr : found->second;
}

std::string QtDialogView::GetControlText(int control_id) const {
  QWidget* widget = Control(control_id);
  QString text;
  if (auto* line = qobject_cast<QLineEdit*>(widget)) text = line->text();
  else if (auto* plain = qobject_cast<QPlainTextEdit*>(widget)) text = plain->toPlainText();
  else if (auto* button = qobject_cast<QPushButton*>(widget)) text = button->text();
  else if (auto* label = qobject_cast<QLabel*>(widget)) text = label->text();
  return text.toStdString();
}

void QtDialogView::SetControlText(int control_id, std::string_view text) {
  QWidget* widget = Control(control_id);
  const QString value = FromUtf8(text);
  if (auto* line = qobject_cast<QLineEdit*>(widget)) {
    // A limit holds back what the user types, never what the dialog puts there.
    const auto limit = text_limits_.find(control_id);
    if (limit != text_limits_.end()) line->setMaxLength(std::max<int>(limit->second, static_cast<int>(value.size())));
    line->setText(value);
  } else if (auto* plain = qobject_cast<QPlainTextEdit*>(widget)) {
    plain->setPlainText(value);
  } else if (auto* button = qobject_cast<QPushButton*>(widget)) {
    button->setText(value);
  } else if (auto* label = qobject_cast<QLabel*>(widget)) {
    label->setText(value);
  }
}

void QtDialogView::LimitText(int control_id, int max_characters) {
  auto* line = qobject_cast<QLineEdit*>(Control(control_id));
  if (line == nullptr) return;
  text_limits_[control_id] = max_characters;
  line->setMaxLength(std::max<int>(max_characters, static_cast<int>(line->text().size())));
}

int QtDialogView::AddListItem(int control_id, std::string_view label, const void* data) {
  QListWidget* list = List(control_id);
  const ControlTemplate* control = dialog_.FindControl(control_id);
  if (list == nullptr || control == nullptr) return -1;
  std::vector<std::string>& labels = labels_[control_id];
  const std::size_t position = control->HasStyle("SORT") ? ListSortPosition(labels, label) : labels.size();
  labels.insert(labels.begin() + static_cast<std::ptrdiff_t>(position), std::string(label));
  auto* item = new QListWidgetItem(FromUtf8(label));
  item->setData(Qt::UserRole, QVariant::fromValue<quintptr>(reinterpret_cast<quintptr>(data)));
  list->insertItem(static_cast<int>(position), item);
  UpdateListToolTip(list, item);
  return static_cast<int>(position);
}

const void* QtDialogView::GetListItemData(int control_id, int index) const {
  QListWidget* list = List(control_id);
  QListWidgetItem* item = list == nullptr ? nullptr : list->item(index);
  if (item == nullptr) return nullptr;
  return reinterpret_cast<const void*>(item->data(Qt::UserRole).value<quintptr>());
}

int QtDialogView::GetListSelectedCount(int control_id) const {
  QListWidget* list = List(control_id);
  return list == nullptr ? 0 : static_cast<int>(list->selectedItems().size());
}

std::vector<int> QtDialogView::GetListSelectedItems(int control_id, int max_items) const {
  std::vector<int> rows;
  QListWidget* list = List(control_id);
  if (list == nullptr) return rows;
  for (const QListWidgetItem* item : list->selectedItems()) rows.push_back(list->row(item));
  std::sort(rows.begin(), rows.end());
  if (max_items >= 0 && rows.size() > static_cast<std::size_t>(max_items)) rows.resize(static_cast<std::size_t>(max_items));
  return rows;
}

void QtDialogView::ShowPrompt(int control_id, std::string_view text) {
  // The prompt takes the focus from the dialog and gives it back to the refused control; neither
  // move is a focus loss the logic hears of.
  relay_.SetPrompting(true);
  QPointer<QWidget> control = Control(control_id);
  {
    QMessageBox prompt(QMessageBox::Warning, FromUtf8(dialog_.caption), FromUtf8(text), QMessageBox::Ok,
                       window_.get());
    prompt.setObjectName("prompt");
    prompt.exec();
  }
  if (control != nullptr && !relay_.ended()) {
    // Without a window manager nothing else gives the dialog back the activation.
    window_->activateWindow();
    control->setFocus(Qt::OtherFocusReason);
    if (auto* line = qobject_cast<QLineEdit*>(control.data())) line->selectAll();
  }
  relay_.SetPrompting(false);
}

void QtDialogView::EndDialog(int result) {
  if (!relay_.MarkEnded()) return;
  result_ = result;
  if (running_) window_->done(result);
}

}  // namespace

QtDialogToolkit& QtDialogToolkit::Instance() {
  static QtDialogToolkit toolkit;
  return toolkit;
}

DialogToolkit& PlatformDialogToolkit() { return QtDialogToolkit::Instance(); }

bool QtDialogToolkit::CanShowDialog(std::string* reason) {
  display_.reset();
  checked_ = CheckApplication(&platform_, reason, &display_);
  return checked_;
}

int QtDialogToolkit::DoModal(const DialogTemplate& dialog, DialogEvents& events) {
  std::string reason;
  if (!checked_ && !CanShowDialog(&reason)) return kDialogEndedItself;
  checked_ = false;
  ApplicationScope scope(platform_);
  // The application has its own connection to the display now.
  display_.reset();
  if (scope.application() == nullptr) return kDialogEndedItself;
  QtDialogView view(dialog, events);
  return view.Run();
}
