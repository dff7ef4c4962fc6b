// The "Add Measurements" dialog through the loaded plug-in, as a person uses it: BrowseMonitor
// shows the real Qt dialog (on the offscreen platform), a scripted user selects with the
// keyboard and the mouse, types, presses the buttons and keys, and the test reads the records
// the host gets back. Screenshots of both editions go to the build's test-artifacts directory.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QApplication>
#include <QDialog>
#include <QGroupBox>
#include <QHelpEvent>
#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionTitleBar>
#include <QTest>
#include <QToolTip>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/dialog_user.h"
#include "tests/install_tree.h"

#if defined(__SANITIZE_THREAD__)
// Qt is not built with the sanitizer; qt_tsan.supp sets aside the races it reports inside Qt.
extern "C" const char* __tsan_default_options() { return "suppressions=" SARVIK_TSAN_SUPPRESSIONS; }
#endif

namespace {

using namespace std::chrono_literals;

constexpr char kConfig[] = "dat/monitors/Netscape.cfg";
// Configuration order Charlie, alpha, Bravo; the list shows alpha, Bravo, Charlie.
constexpr char kSmallConfig[] =
    "[Netscape]\nCounters=3\ninfoURL=http://%s/https-admserv/.perf\nserverPort=81\n"
    "[0]\nCounter=Total number of requests:\nLabel=Charlie requests\nDescription=How many requests were served.\n"
    "[1]\nCounter=Active Sessions\nLabel=alpha sessions\nDescription=Sessions open right now.\n"
    "[2]\nCounter=Bytes transferred:\nLabel=Bravo bytes\nDescription=Bytes sent to clients.\n";

// The dialog's edits, description and buttons, while it is shown (null otherwise).
QLineEdit* Edit(int id) { return Control<QLineEdit>(id); }
QPlainTextEdit* Description() { return Control<QPlainTextEdit>(11005); }
QPushButton* Button(int id) { return Control<QPushButton>(id); }

void ClickItem(int row, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
  QListWidget* list = List();
  QTest::mouseClick(list->viewport(), Qt::LeftButton, modifiers, list->visualItemRect(list->item(row)).center());
}

// Clicks into the edit, selects its text and types over it.
void TypeInto(int id, const QString& text) {
  QLineEdit* edit = Edit(id);
  QTest::mouseClick(edit, Qt::LeftButton);
  edit->setFocus(Qt::MouseFocusReason);
  edit->selectAll();
  QTest::keyClicks(edit, text);
}

// The dialog's client area under a title bar drawn by the style with the dialog's caption.
QImage Screenshot(QDialog* dialog) {
  const QPixmap client = dialog->grab();
  QStyleOptionTitleBar title;
  title.initFrom(dialog);
  title.text = dialog->windowTitle();
  title.titleBarFlags = Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
  // A dialog's frame carries no icon, only the caption and the close button of its system menu.
  title.icon = QIcon();
  title.subControls = QStyle::SC_TitleBarLabel | QStyle::SC_TitleBarCloseButton;
  title.titleBarState = Qt::WindowActive;
  title.state |= QStyle::State_Active;
  const int title_height = dialog->style()->pixelMetric(QStyle::PM_TitleBarHeight, &title, dialog);
  title.rect = QRect(0, 0, client.width(), title_height);
  QImage image(client.width(), client.height() + title_height, QImage::Format_ARGB32);
  image.fill(dialog->palette().color(QPalette::Window));
  QPainter painter(&image);
  dialog->style()->drawComplexControl(QStyle::CC_TitleBar, &title, &painter, dialog);
  painter.drawPixmap(0, title_height, client);
  painter.end();
  return image;
}

// The tool tip's window, while one is shown.
QWidget* TheToolTip() {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (widget->inherits("QTipLabel") && widget->isVisible()) return widget;
  }
  return nullptr;
}

// `overlay` (a tool tip) over the screenshot, where the screen shows it over the dialog.
void SaveScreenshot(QDialog* dialog, const std::string& name, QWidget* overlay = nullptr) {
  std::filesystem::create_directories(SARVIK_ARTIFACT_DIR);
  const std::string path = std::string(SARVIK_ARTIFACT_DIR) + "/" + name;
  QImage image = Screenshot(dialog);
  if (overlay != nullptr) {
    // The picture grows to hold the whole tool tip, on the desktop's colour.
    const int title_height = image.height() - dialog->height();
    const QPoint at = dialog->mapFromGlobal(overlay->mapToGlobal(QPoint(0, 0))) + QPoint(0, title_height);
    const QRect both = image.rect().united(QRect(at, overlay->size()));
    QImage canvas(both.size(), QImage::Format_ARGB32);
    canvas.fill(Qt::darkGray);
    QPainter painter(&canvas);
    painter.drawImage(-both.topLeft(), image);
    painter.drawPixmap(at - both.topLeft(), overlay->grab());
    painter.end();
    image = canvas;
  }
  EXPECT_TRUE(image.save(QString::fromStdString(path), "PNG")) << path;
}

// ---------------------------------------------------------------------------------------------
// The dialog's layout as the user sees it, measured on the shown window in the dialog's own fonts.

std::string Name(const QWidget* widget) {
  QString text;
  if (auto* box = qobject_cast<const QGroupBox*>(widget)) text = box->title();
  else if (auto* label = qobject_cast<const QLabel*>(widget)) text = label->text();
  else if (auto* button = qobject_cast<const QPushButton*>(widget)) text = button->text();
  return (widget->objectName() + " '" + text + "'").toStdString();
}

// The dialog's controls: its children named after the template.
std::vector<QWidget*> Controls(QDialog* dialog) {
  std::vector<QWidget*> controls;
  for (QWidget* child : dialog->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    if (child->objectName().startsWith("control-") || child->objectName().startsWith("static-")) controls.push_back(child);
  }
  return controls;
}

bool IsGroup(const QWidget* widget) { return qobject_cast<const QGroupBox*>(widget) != nullptr; }

// Whether the window's background shows at `point` of `image` (a grab of `widget`).
bool Background(const QImage& image, QPoint point, const QWidget* widget) {
  return image.pixelColor(point) == widget->palette().color(QPalette::Window);
}

// Group boxes frame their controls with the title on the frame's top edge; every other control lies
// inside its box's frame below the title; no two controls overlap; the dialog ends a margin below
// its content no larger than the margin beside it; every caption's text, measured in its font,
// fits its place and ends clear of the field it names.
void CheckLayout(QDialog* dialog) {
  const std::vector<QWidget*> controls = Controls(dialog);
  ASSERT_EQ(16u, controls.size()) << "the template's sixteen controls";
  int groups = 0;
  int side_margin = dialog->width();
  for (QWidget* group : controls) {
    if (!IsGroup(group)) continue;
    ++groups;
    const QRect box = group->geometry();
    side_margin = std::min({side_margin, box.left(), dialog->width() - 1 - box.right()});
    const QFontMetrics metrics(group->font());
    const QString title = qobject_cast<QGroupBox*>(group)->title();
    const int title_height = metrics.height();
    // The title fits between the frame's sides, one character in from either.
    EXPECT_LE(metrics.horizontalAdvance(title) + 2 * metrics.averageCharWidth(), box.width())
        << Name(group) << ": the title does not fit between the frame's sides";
    // The frame is drawn from the middle of the title line down: its left side shows there, and
    // nothing of it above.
    const QImage image = group->grab().toImage();
    EXPECT_FALSE(Background(image, {0, title_height / 2 + 2}, group))
        << Name(group) << ": the frame's left side does not reach up to the title";
    EXPECT_TRUE(Background(image, {0, title_height / 2 - 2}, group)) << Name(group) << ": a frame above the title";
    EXPECT_FALSE(Background(image, {box.width() - 2, box.height() - 2}, group)) << Name(group) << ": no frame corner";
    // The title is drawn on the top edge, and the edge is broken behind it.
    bool title_drawn = false;
    for (int x = metrics.averageCharWidth(); x < metrics.averageCharWidth() + metrics.horizontalAdvance(title); ++x) {
      for (int y = 0; y < title_height; ++y) title_drawn = title_drawn || !Background(image, {x, y}, group);
    }
    EXPECT_TRUE(title_drawn) << Name(group) << ": no title on the frame";
    int members = 0;
    for (QWidget* control : controls) {
      if (IsGroup(control) || !control->geometry().intersects(box)) continue;
      ++members;
      const QRect inside = box.adjusted(2, title_height, -2, -2);
      EXPECT_TRUE(inside.contains(control->geometry()))
          << Name(control) << " is not inside the frame of " << Name(group) << " below its title";
    }
    EXPECT_GT(members, 0) << Name(group) << " frames nothing";
  }
  EXPECT_EQ(3, groups);

  int content_bottom = 0;
  for (std::size_t i = 0; i < controls.size(); ++i) {
    content_bottom = std::max(content_bottom, controls[i]->geometry().bottom());
    for (std::size_t j = i + 1; j < controls.size(); ++j) {
      if (IsGroup(controls[i]) || IsGroup(controls[j])) continue;
      EXPECT_FALSE(controls[i]->geometry().intersects(controls[j]->geometry()))
          << Name(controls[i]) << " and " << Name(controls[j]) << " overlap";
    }
  }
  const int bottom_margin = dialog->height() - 1 - content_bottom;
  EXPECT_GE(bottom_margin, 0);
  EXPECT_LE(bottom_margin, side_margin + 2) << "empty space below the content";

  int captions = 0;
  for (QWidget* control : controls) {
    auto* caption = qobject_cast<QLabel*>(control);
    if (caption == nullptr) continue;
    ++captions;
    const QFontMetrics metrics(caption->font());
    const int text_width = metrics.horizontalAdvance(caption->text());
    EXPECT_LE(text_width, caption->contentsRect().width()) << Name(caption) << " is cut";
    EXPECT_TRUE(caption->toolTip().isEmpty()) << Name(caption) << " is elided";
    // The field it names: the nearest edit to its right on its line.
    const QRect place = caption->geometry();
    const QWidget* field = nullptr;
    for (QWidget* other : controls) {
      const QRect area = other->geometry();
      if (qobject_cast<QLineEdit*>(other) == nullptr || area.left() < place.left()) continue;
      if (area.bottom() < place.top() || area.top() > place.bottom()) continue;
      if (field == nullptr || area.left() < field->geometry().left()) field = other;
    }
    ASSERT_NE(nullptr, field) << Name(caption) << " names no field";
    // Right-aligned, the text ends at the caption's right edge.
    EXPECT_EQ(Qt::AlignRight, caption->alignment() & Qt::AlignHorizontal_Mask) << Name(caption);
    // Clear of it by three quarters of an average character of its font at least.
    EXPECT_GE(field->geometry().left() - (place.right() + 1), (metrics.averageCharWidth() * 3 + 3) / 4)
        << Name(caption) << " touches " << Name(field);
    EXPECT_GE(place.right() + 1 - text_width, 0) << Name(caption) << " reaches out of the dialog";
  }
  EXPECT_EQ(4, captions);
}

// Every label the list elides carries its whole text as the tool tip, which shows when the mouse
// rests on it; labels shown whole carry none. The dialog with the first of those tool tips goes
// to `screenshot`. Returns how many were elided.
int CheckListToolTips(const std::string& screenshot) {
  QListWidget* list = List();
  const int margin = list->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, list) + 1;
  int elided = 0;
  for (int row = 0; row < list->count(); ++row) {
    QListWidgetItem* item = list->item(row);
    const int room = list->visualItemRect(item).width() - 2 * margin;
    const bool cut = QFontMetrics(list->font()).horizontalAdvance(item->text()) > room;
    EXPECT_EQ(cut ? item->text() : QString(), item->toolTip()) << item->text().toStdString();
    if (!cut) continue;
    ++elided;
    list->scrollToItem(item);
    const QPoint point = list->visualItemRect(item).center();
    QHelpEvent hover(QEvent::ToolTip, point, list->viewport()->mapToGlobal(point));
    QApplication::sendEvent(list->viewport(), &hover);
    EXPECT_EQ(item->text(), QToolTip::text()) << "the tool tip shown over the item";
    if (elided == 1) SaveScreenshot(TheDialog(), screenshot, TheToolTip());
    QToolTip::hideText();
  }
  return elided;
}

// ---------------------------------------------------------------------------------------------
// The records the host gets back.

struct Record {
  std::string counter, label, description, host, user_data;
};

struct Browse {
  int result = -1;
  std::vector<Record> records;
  std::string message;
  bool array_returned = false;
};

class DialogTest : public testing::Test {
 public:
  void SetUp() override {
    unsetenv("LC_ALL");
    unsetenv("LC_MESSAGES");
    setenv("LANG", "en_US.UTF-8", 1);
    unsetenv("QOR_RESMON_LIGHT");
    WriteTreeFile(kConfig, kSmallConfig);
    Init(plugin_);
  }
  void TearDown() override {
    plugin_.TerminateMonitor();
    RestoreTreeFile(kConfig);
  }

  static void Init(const Plugin& plugin) {
    char message[1024] = "";
    int32_t status = 1;
    ASSERT_EQ(0, plugin.InitMonitor(nullptr, nullptr, nullptr, nullptr, &status, message, sizeof message)) << message;
  }

  // Calls BrowseMonitor with `user` at the dialog.
  static Browse Call(const Plugin& plugin, const char* host, DialogUser& user) {
    ActInTheDialog(user);
    Browse browse;
    CounterDefinition* selection = reinterpret_cast<CounterDefinition*>(&browse);
    int32_t count = -99;
    char message[1024];
    std::memset(message, '#', sizeof message);
    message[sizeof message - 1] = '\0';
    browse.result = plugin.BrowseMonitor(nullptr, host, &selection, &count, message, sizeof message);
    ForgetTheDialogUser();
    browse.message = message;
    browse.array_returned = selection != nullptr && selection != reinterpret_cast<CounterDefinition*>(&browse);
    for (int32_t i = 0; browse.array_returned && i < count; ++i) {
      const CounterDefinition& record = selection[i];
      browse.records.push_back({record.counter, record.label, record.description, record.host, record.user_data});
    }
    if (count != 0 && !browse.array_returned) ADD_FAILURE() << count << " records without an array";
    EXPECT_TRUE(user.finished()) << "the dialog closed before the user was done";
    return browse;
  }
  Browse Call(const char* host, DialogUser& user) { return Call(plugin_, host, user); }

 protected:
  const Plugin& plugin_ = ThePlugin();
};

TEST_F(DialogTest, KeyboardSelectionAndOkReturnTheRecordsInLabelOrder) {
  DialogUser user;
  user.Then(DialogReady)
      .Do([] {
        QListWidget* list = List();
        EXPECT_EQ("alpha sessions", list->item(0)->text());
        EXPECT_EQ("Bravo bytes", list->item(1)->text());
        EXPECT_EQ("Charlie requests", list->item(2)->text());
        EXPECT_TRUE(list->hasFocus()) << "the list has the focus first";
        EXPECT_EQ("81", Edit(11003)->text());
        EXPECT_EQ("http://web1/https-admserv/.perf", Edit(11004)->text());
        EXPECT_EQ("admin", Edit(11006)->text());
        EXPECT_EQ(QLineEdit::Password, Edit(11007)->echoMode());
        EXPECT_EQ("tovel", Edit(11007)->text());
        QTest::keyClick(list, Qt::Key_Home);
        QTest::keyClick(list, Qt::Key_End, Qt::ShiftModifier);
      })
      .Then([] { return List()->selectedItems().size() == 3; })
      .Do([] { TypeInto(11003, "8080"); })
      .Do([] { QTest::keyClick(Edit(11003), Qt::Key_Tab); })
      .Do([] { QTest::mouseClick(Button(1), Qt::LeftButton); });
  const Browse browse = Call("web1:8080", user);
  EXPECT_EQ(0, browse.result);
  ASSERT_EQ(3u, browse.records.size());
  const char* labels[] = {"alpha sessions", "Bravo bytes", "Charlie requests"};
  const char* counters[] = {"Active Sessions", "Bytes transferred:", "Total number of requests:"};
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(labels[i], browse.records[i].label);
    EXPECT_EQ(counters[i], browse.records[i].counter);
    EXPECT_EQ("web1", browse.records[i].host);
    EXPECT_EQ("8080|http://web1/https-admserv/.perf|admin|tovel", browse.records[i].user_data);
  }
  EXPECT_EQ(nullptr, QCoreApplication::instance()) << "the plug-in deleted the application it made";
}

TEST_F(DialogTest, TheDescriptionFollowsTheMouseSelection) {
  DialogUser user;
  user.Then(DialogReady)
      .Do([] { ClickItem(1); })
      .Then([] { return Description()->toPlainText() == "Bytes sent to clients."; })
      .Do([] { ClickItem(2, Qt::ControlModifier); })
      .Then([] { return List()->selectedItems().size() == 2 && Description()->toPlainText().isEmpty(); })
      .Do([] { ClickItem(1, Qt::ControlModifier); })
      .Then([] { return Description()->toPlainText() == "How many requests were served."; })
      .Do([] {
        EXPECT_TRUE(Description()->isReadOnly());
        EXPECT_EQ(Qt::ClickFocus, Description()->focusPolicy()) << "the description is no tab stop";
        TypeInto(11003, "8080");
        ClickItem(0);  // the click takes the focus from the port edit
      })
      .Then([] { return Description()->toPlainText() == "Sessions open right now."; })
      .Do([] {
        EXPECT_EQ("8080", Edit(11003)->text()) << "what was typed survives the refresh";
        TypeInto(11006, "operator");
        TypeInto(11007, "secret");
        SaveScreenshot(TheDialog(), "add-measurements-qt-en.png");
        QTest::mouseClick(Button(2), Qt::LeftButton);
      });
  const Browse browse = Call("web1", user);
  EXPECT_EQ(0, browse.result);
  EXPECT_TRUE(browse.records.empty()) << "Cancel returns no records";
  EXPECT_TRUE(browse.array_returned) << "the selection slot still receives the array";
}

TEST_F(DialogTest, APortOfLettersBringsUpTheIntegerPromptAndTheDialogStaysOpen) {
  DialogUser user;
  user.Then(DialogReady)
      .Do([] { ClickItem(0); })
      .Then([] { return !Description()->toPlainText().isEmpty(); })
      .Do([] {
        TypeInto(11003, "http");
        QTest::keyClick(Edit(11003), Qt::Key_Tab);  // leaving the edit checks it
      })
      .Then([] { return ThePrompt() != nullptr; })
      .Do([] {
        EXPECT_TRUE(ThePrompt()->text().contains("integer")) << ThePrompt()->text().toStdString();
        ThePrompt()->accept();
      })
      .Then([] { return DialogReady() && Edit(11003)->hasFocus(); })  // the refused edit gets the focus back
      .Do([] {
        EXPECT_EQ("http", Edit(11003)->selectedText()) << "with its text selected";
        QTest::mouseClick(Button(1), Qt::LeftButton);  // OK with the port still refused
      })
      .Then([] { return ThePrompt() != nullptr; })
      .Do([] { QTest::keyClick(ThePrompt(), Qt::Key_Return); })
      .Then(DialogReady)
      .Do([] {
        EXPECT_TRUE(TheDialog()->isVisible()) << "nothing is returned yet";
        TypeInto(11003, "82");
        QTest::keyClick(Edit(11003), Qt::Key_Return);  // Enter presses the default button, OK
      });
  const Browse browse = Call("web1", user);
  EXPECT_EQ(0, browse.result);
  ASSERT_EQ(1u, browse.records.size());
  EXPECT_EQ("82|http://web1/https-admserv/.perf|admin|tovel", browse.records[0].user_data);
}

TEST_F(DialogTest, EscapeAndTheCloseButtonCancelAndTheConfirmedPropertiesComeBack) {
  DialogUser escape;
  escape.Then(DialogReady).Do([] {
    TypeInto(11004, "http://web1:8080/stats");
    ClickItem(0);
    QTest::keyClick(List(), Qt::Key_Escape);
  });
  EXPECT_TRUE(Call("web1", escape).records.empty());

  DialogUser confirm;
  confirm.Then(DialogReady)
      .Do([] {
        EXPECT_EQ("http://web1/https-admserv/.perf", Edit(11004)->text()) << "Cancel remembered nothing";
        TypeInto(11004, "http://web1:8080/stats");
        TypeInto(11003, "8080");
      })
      .Do([] { QTest::mouseClick(Button(1), Qt::LeftButton); });
  const Browse confirmed = Call("web1", confirm);
  EXPECT_EQ(0, confirmed.result);
  EXPECT_TRUE(confirmed.records.empty()) << "OK with nothing selected";

  DialogUser close;
  close.Then(DialogReady).Do([] {
    EXPECT_EQ("8080", Edit(11003)->text());
    EXPECT_EQ("http://web1:8080/stats", Edit(11004)->text());
    TheDialog()->close();
  });
  const Browse closed = Call("web1", close);
  EXPECT_EQ(0, closed.result);
  EXPECT_TRUE(closed.records.empty());
  EXPECT_TRUE(closed.array_returned);
}

TEST_F(DialogTest, HelpAndF1StartTheSameHelpRequest) {
  // A stand-in help viewer on PATH records how it was started; no desktop handler is registered.
  const std::string tools = TreeRoot() + "/help-tools";
  const std::string record = TreeRoot() + "/help-record";
  std::filesystem::create_directories(tools);
  std::filesystem::create_directories(TreeRoot() + "/no-applications");
  std::ofstream(tools + "/xchm") << "#!/bin/sh\necho \"$*\" >> '" << record << "'\n";
  chmod((tools + "/xchm").c_str(), 0755);
  const std::string path = std::getenv("PATH") != nullptr ? std::getenv("PATH") : "/usr/bin:/bin";
  setenv("PATH", (tools + ":/usr/bin:/bin").c_str(), 1);
  setenv("XDG_DATA_HOME", (TreeRoot() + "/no-applications").c_str(), 1);
  setenv("XDG_DATA_DIRS", (TreeRoot() + "/no-applications").c_str(), 1);

  auto lines = [&] {
    std::ifstream file(record);
    std::vector<std::string> read;
    for (std::string line; std::getline(file, line);) read.push_back(line);
    return read;
  };
  DialogUser user;
  user.Then(DialogReady)
      .Do([] { QTest::mouseClick(Button(1018), Qt::LeftButton); })
      .Then([&] { return lines().size() == 1; })
      .Do([] { QTest::keyClick(List(), Qt::Key_F1); })
      .Then([&] { return lines().size() == 2; })
      .Do([] {
        EXPECT_TRUE(TheDialog()->isVisible()) << "help never blocks or ends the dialog";
        QTest::mouseClick(Button(2), Qt::LeftButton);
      });
  Call("web1", user);
  setenv("PATH", path.c_str(), 1);
  const std::vector<std::string> requests = lines();
  ASSERT_EQ(2u, requests.size());
  EXPECT_EQ("--contextid=1068 " + TreeRoot() + "/bin/online.chm", requests[0]);
  EXPECT_EQ(requests[0], requests[1]);
}

TEST_F(DialogTest, TheChineseEditionIsChosenByTheLocale) {
  setenv("LANG", "zh_CN.UTF-8", 1);
  DialogUser user;
  user.Then(DialogReady)
      .Do([] {
        EXPECT_EQ("iPlanet/Netscape - 添加度量", TheDialog()->windowTitle().toStdString());
        EXPECT_EQ("确定", Button(1)->text().toStdString());
        EXPECT_EQ("帮助(&H)", Button(1018)->text().toStdString());
        EXPECT_EQ("WenQuanYi Micro Hei", TheDialog()->font().family().toStdString());
        ClickItem(2);
      })
      .Then([] { return !Description()->toPlainText().isEmpty(); })
      .Do([] {
        TypeInto(11003, "8080");
        ClickItem(2);
        SaveScreenshot(TheDialog(), "add-measurements-qt-zh.png");
        QTest::mouseClick(Button(1), Qt::LeftButton);
      });
  const Browse browse = Call("web1", user);
  EXPECT_EQ(0, browse.result);
  ASSERT_EQ(1u, browse.records.size());
  EXPECT_EQ("Charlie requests", browse.records[0].label);
}

// With the shipped configuration, whose longer labels the list cannot show whole.
class DialogLayoutTest : public DialogTest {
 public:
  void SetUp() override {
    DialogTest::SetUp();
    plugin_.TerminateMonitor();
    RestoreTreeFile(kConfig);
    Init(plugin_);
  }

  void CheckEdition(const char* screenshot, const char* tool_tip_screenshot) {
    int elided = 0;
    DialogUser user;
    user.Then(DialogReady)
        .Do([&] {
          CheckLayout(TheDialog());
          elided = CheckListToolTips(tool_tip_screenshot);
          QListWidget* list = List();
          const QList<QListWidgetItem*> found = list->findItems("Default Bucket Average Function Time (s)", Qt::MatchExactly);
          ASSERT_EQ(1, found.size());
          list->scrollToItem(found.front());
          found.front()->setSelected(true);
        })
        .Then([] { return !Description()->toPlainText().isEmpty(); })
        .Do([screenshot] {
          SaveScreenshot(TheDialog(), screenshot);
          QTest::mouseClick(Button(2), Qt::LeftButton);
        });
    EXPECT_EQ(0, Call("web1", user).result);
    EXPECT_GT(elided, 0) << "the shipped configuration has labels longer than the list is wide";
  }
};

TEST_F(DialogLayoutTest, TheEnglishEditionFramesItsGroupsFitsItsCaptionsAndEndsBelowItsContent) {
  CheckEdition("add-measurements-qt-en-long-labels.png", "add-measurements-qt-en-tool-tip.png");
}

TEST_F(DialogLayoutTest, TheChineseEditionFramesItsGroupsFitsItsCaptionsAndEndsBelowItsContent) {
  setenv("LANG", "zh_CN.UTF-8", 1);
  CheckEdition("add-measurements-qt-zh-long-labels.png", "add-measurements-qt-zh-tool-tip.png");
}

TEST_F(DialogTest, AHostsOwnApplicationIsUsedAndKept) {
  static int argc = 1;
  static char name[] = "host";
  static char* argv[] = {name, nullptr};
  auto application = std::make_unique<QApplication>(argc, argv);
  for (int call = 0; call < 2; ++call) {
    DialogUser user;
    user.Then(DialogReady).Do([] {
      ClickItem(0);
      QTest::mouseClick(Button(1), Qt::LeftButton);
    });
    const Browse browse = Call("web1", user);
    EXPECT_EQ(0, browse.result);
    EXPECT_EQ(1u, browse.records.size());
    EXPECT_EQ(application.get(), QCoreApplication::instance()) << "the host's application stays";
  }
  application.reset();
}

// Loads the plug-in itself (not through ThePlugin), so that unloading it really unloads it.
TEST(DialogReloadTest, WorksTwiceAndAfterThePluginWasUnloadedAndLoadedAgain) {
  setenv("LANG", "en_US.UTF-8", 1);
  WriteTreeFile(kConfig, kSmallConfig);
  for (int round = 0; round < 2; ++round) {
    void* library = dlopen((TreeRoot() + "/bin/libsarvik.so").c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(nullptr, library) << dlerror();
    Plugin plugin{};
    plugin.InitMonitor = reinterpret_cast<decltype(plugin.InitMonitor)>(dlsym(library, "InitMonitor"));
    plugin.TerminateMonitor = reinterpret_cast<decltype(plugin.TerminateMonitor)>(dlsym(library, "TerminateMonitor"));
    plugin.BrowseMonitor = reinterpret_cast<decltype(plugin.BrowseMonitor)>(dlsym(library, "BrowseMonitor"));
    ASSERT_TRUE(plugin.InitMonitor != nullptr && plugin.TerminateMonitor != nullptr && plugin.BrowseMonitor != nullptr);
    DialogTest::Init(plugin);
    for (int call = 0; call < 2; ++call) {
      DialogUser user;
      user.Then(DialogReady).Do([] {
        ClickItem(1);
        QTest::mouseClick(Button(1), Qt::LeftButton);
      });
      const Browse browse = DialogTest::Call(plugin, "web1", user);
      EXPECT_EQ(0, browse.result);
      ASSERT_EQ(1u, browse.records.size());
      EXPECT_EQ("Bravo bytes", browse.records[0].label);
      EXPECT_EQ(nullptr, QCoreApplication::instance());
    }
    plugin.TerminateMonitor();
    EXPECT_EQ(0, dlclose(library));
  }
  RestoreTreeFile(kConfig);
}

TEST_F(DialogTest, WithoutADisplayTheHostGetsAMessageInsteadOfAnAbort) {
  unsetenv("QT_QPA_PLATFORM");
  unsetenv("WAYLAND_DISPLAY");
  unsetenv("XDG_SESSION_TYPE");
  unsetenv("DISPLAY");
  DialogUser nobody;
  Browse browse = Call("web1", nobody);
  EXPECT_EQ(2, browse.result);
  EXPECT_NE(std::string::npos, browse.message.find("The Add Measurements dialog cannot be shown: no display")) << browse.message;
  EXPECT_NE(std::string::npos, browse.message.find("DISPLAY is not set")) << browse.message;
  EXPECT_FALSE(browse.array_returned);

  // An X display that does not answer.
  setenv("DISPLAY", ":9999", 1);
  browse = Call("web1", nobody);
  EXPECT_EQ(2, browse.result);
  EXPECT_NE(std::string::npos, browse.message.find("':9999' cannot be opened")) << browse.message;
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
}

}  // namespace
