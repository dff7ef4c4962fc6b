// The "Add Measurements" dialog of the Windows edition through the loaded sarvik.dll, as a person
// at the keyboard uses it: BrowseMonitor shows the real Win32 dialog on the host's thread, a user
// on a thread of their own waits for what the dialog shows, types keys into it (SendInput, as a
// keyboard does), and the test reads the records the host gets back. Screenshots of both
// editions go to the build's test-artifacts folder. The edition follows the user interface
// language of the process, so each edition runs in a process of its own.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "tests/install_tree.h"
#include "tests/windows/dialog_screenshot.h"

namespace {

using namespace std::chrono_literals;

constexpr char kConfig[] = "dat/monitors/Netscape.cfg";
// Configuration order Charlie, alpha, Bravo; the list shows alpha, Bravo, Charlie.
constexpr char kSmallConfig[] =
    "[Netscape]\nCounters=3\ninfoURL=http://%s/https-admserv/.perf\nserverPort=81\n"
    "[0]\nCounter=Total number of requests:\nLabel=Charlie requests\nDescription=How many requests were served.\n"
    "[1]\nCounter=Active Sessions\nLabel=alpha sessions\nDescription=Sessions open right now.\n"
    "[2]\nCounter=Bytes transferred:\nLabel=Bravo bytes\nDescription=Bytes sent to clients.\n";

constexpr int kList = 11002;
constexpr int kPort = 11003;
constexpr int kUrl = 11004;
constexpr int kDescription = 11005;
constexpr int kLogin = 11006;
constexpr int kPassword = 11007;
constexpr int kHelp = 1018;

bool ChineseInterface() { return PRIMARYLANGID(GetUserDefaultUILanguage()) == LANG_CHINESE; }

std::string Narrow(const std::wstring& text) {
  if (text.empty()) return {};
  const int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                         nullptr, nullptr);
  std::string narrow(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), narrow.data(), length, nullptr,
                      nullptr);
  return narrow;
}

std::string WindowText(HWND window) {
  if (window == nullptr) return {};
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return Narrow(text);
}

std::string ClassOf(HWND window) {
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  return Narrow(name);
}

// The visible top-level windows of this process of class `class_name` (all, when empty).
std::vector<HWND> OwnWindows(const std::string& class_name) {
  struct Search {
    std::string class_name;
    std::vector<HWND> found;
  } search{class_name, {}};
  EnumWindows(
      [](HWND window, LPARAM context) -> BOOL {
        auto* wanted = reinterpret_cast<Search*>(context);
        DWORD process = 0;
        GetWindowThreadProcessId(window, &process);
        if (process == GetCurrentProcessId() && IsWindowVisible(window) &&
            (wanted->class_name.empty() || ClassOf(window) == wanted->class_name)) {
          wanted->found.push_back(window);
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// The dialog while it is shown, and a prompt (a message box) over it.
HWND TheDialog() {
  for (HWND window : OwnWindows("#32770")) {
    if (GetDlgItem(window, kList) != nullptr) return window;
  }
  return nullptr;
}
HWND ThePrompt() {
  for (HWND window : OwnWindows("#32770")) {
    if (GetDlgItem(window, kList) == nullptr) return window;
  }
  return nullptr;
}
// The window of the HTML Help engine, once it shows a help file.
HWND TheHelpWindow() {
  for (HWND window : OwnWindows("HH Parent")) return window;
  return nullptr;
}

std::string Text(int id) { return WindowText(GetDlgItem(TheDialog(), id)); }
std::string PromptText() { return WindowText(GetDlgItem(ThePrompt(), 0xFFFF)); }

std::vector<std::string> ListLabels() {
  HWND list = GetDlgItem(TheDialog(), kList);
  std::vector<std::string> labels;
  const LRESULT count = SendMessageW(list, LB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    std::wstring label(static_cast<std::size_t>(SendMessageW(list, LB_GETTEXTLEN, i, 0)) + 1, L'\0');
    label.resize(static_cast<std::size_t>(SendMessageW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(label.data()))));
    labels.push_back(Narrow(label));
  }
  return labels;
}
int SelectedCount() { return static_cast<int>(SendMessageW(GetDlgItem(TheDialog(), kList), LB_GETSELCOUNT, 0, 0)); }

// The control of the dialog that has the keyboard focus.
HWND Focus() {
  HWND dialog = TheDialog();
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  if (dialog == nullptr || !GetGUIThreadInfo(GetWindowThreadProcessId(dialog, nullptr), &info)) return nullptr;
  return info.hwndFocus;
}
bool FocusIs(int id) { return TheDialog() != nullptr && Focus() == GetDlgItem(TheDialog(), id); }

// Whether the dialog is shown, filled and ready for the user (no prompt over it).
bool DialogReady() {
  return TheDialog() != nullptr && ThePrompt() == nullptr && !ListLabels().empty() &&
         GetForegroundWindow() == TheDialog();
}

// Waits for `condition` with a generous deadline; false when it never came.
bool WaitFor(const std::function<bool()>& condition, std::chrono::seconds deadline = 60s) {
  const auto end = std::chrono::steady_clock::now() + deadline;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(20ms);
  }
  return true;
}

// Keys, as the keyboard sends them to the window in front.
void SendKeys(const std::vector<INPUT>& inputs) {
  std::vector<INPUT> copy = inputs;
  SendInput(static_cast<UINT>(copy.size()), copy.data(), sizeof(INPUT));
}
INPUT KeyInput(WORD key, bool up) {
  INPUT input{};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = key;
  input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
  return input;
}
void Press(WORD key, std::vector<WORD> modifiers = {}) {
  std::vector<INPUT> inputs;
  for (WORD modifier : modifiers) inputs.push_back(KeyInput(modifier, false));
  inputs.push_back(KeyInput(key, false));
  inputs.push_back(KeyInput(key, true));
  for (auto it = modifiers.rbegin(); it != modifiers.rend(); ++it) inputs.push_back(KeyInput(*it, true));
  SendKeys(inputs);
}
void Type(const std::string& ascii) {
  std::vector<INPUT> inputs;
  for (const char c : ascii) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wScan = static_cast<WORD>(static_cast<unsigned char>(c));
    input.ki.dwFlags = KEYEVENTF_UNICODE;
    inputs.push_back(input);
    input.ki.dwFlags = KEYEVENTF_UNICODE | KEYEVENTF_KEYUP;
    inputs.push_back(input);
  }
  SendKeys(inputs);
}
// Tab `count` times, each time waiting until the focus moved on.
void Tab(int count, std::vector<WORD> modifiers = {}) {
  for (int i = 0; i < count; ++i) {
    HWND before = Focus();
    Press(VK_TAB, modifiers);
    WaitFor([&] { return Focus() != before; });
  }
}

void SaveScreenshot(HWND window, const std::string& name) {
  std::filesystem::create_directories(SARVIK_ARTIFACT_DIR);
  const std::string path = std::string(SARVIK_ARTIFACT_DIR) + "/" + name;
  const Picture picture = CaptureWindow(window);
  EXPECT_GT(picture.width, 0) << "the display could not be read";
  EXPECT_TRUE(WritePng(path, picture)) << path;
}

// ---------------------------------------------------------------------------------------------
// The dialog's layout as the user sees it, measured on the shown dialog in its controls' fonts.

std::wstring Wide(const std::string& text) {
  std::wstring wide(text.size() + 1, L'\0');
  wide.resize(static_cast<std::size_t>(
      MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), static_cast<int>(wide.size()))));
  return wide;
}

// A control of the dialog, in the dialog's client coordinates.
struct Placed {
  HWND window = nullptr;
  std::string class_name;
  LONG style = 0;
  RECT rect{};
  std::string text;
};

bool IsGroup(const Placed& control) {
  return control.class_name == "Button" && (control.style & BS_TYPEMASK) == BS_GROUPBOX;
}
std::string Describe(const Placed& control) {
  return control.class_name + " " + std::to_string(GetDlgCtrlID(control.window)) + " '" + control.text + "'";
}
bool Intersect(const RECT& a, const RECT& b) {
  return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}
bool Contains(const RECT& outer, const RECT& inner) {
  return outer.left <= inner.left && outer.top <= inner.top && inner.right <= outer.right && inner.bottom <= outer.bottom;
}

std::vector<Placed> Controls(HWND dialog) {
  std::vector<Placed> controls;
  for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
    Placed control{child, ClassOf(child), GetWindowLongW(child, GWL_STYLE), {}, WindowText(child)};
    GetWindowRect(child, &control.rect);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&control.rect), 2);
    controls.push_back(control);
  }
  return controls;
}

// The width of `text` and the metrics of the font `window` draws with.
SIZE TextSize(HWND window, const std::string& text, TEXTMETRICW* metrics = nullptr) {
  HDC context = GetDC(window);
  HGDIOBJ previous = SelectObject(context, reinterpret_cast<HGDIOBJ>(SendMessageW(window, WM_GETFONT, 0, 0)));
  const std::wstring wide = Wide(text);
  SIZE size{};
  GetTextExtentPoint32W(context, wide.c_str(), static_cast<int>(wide.size()), &size);
  if (metrics != nullptr) GetTextMetricsW(context, metrics);
  SelectObject(context, previous);
  ReleaseDC(window, context);
  return size;
}

// Group boxes frame their controls below their titles; no two other controls overlap; the dialog
// ends a margin below its content no larger than the margin beside it; every caption's text,
// measured in its font, fits its place and ends clear of the field it names.
void CheckLayout(HWND dialog) {
  const std::vector<Placed> controls = Controls(dialog);
  ASSERT_EQ(16u, controls.size()) << "the template's sixteen controls";
  RECT client{};
  GetClientRect(dialog, &client);
  int groups = 0;
  LONG side_margin = client.right;
  LONG content_bottom = 0;
  for (const Placed& group : controls) {
    content_bottom = std::max(content_bottom, group.rect.bottom);
    if (!IsGroup(group)) continue;
    ++groups;
    side_margin = std::min({side_margin, group.rect.left, client.right - group.rect.right});
    TEXTMETRICW metrics{};
    const SIZE title = TextSize(group.window, group.text, &metrics);
    EXPECT_LE(title.cx + 2 * metrics.tmAveCharWidth, group.rect.right - group.rect.left)
        << Describe(group) << ": the title does not fit between the frame's sides";
    RECT inside = group.rect;
    inside.left += 2;
    inside.right -= 2;
    inside.bottom -= 2;
    inside.top += metrics.tmHeight;
    int members = 0;
    for (const Placed& control : controls) {
      if (IsGroup(control) || !Intersect(control.rect, group.rect)) continue;
      ++members;
      EXPECT_TRUE(Contains(inside, control.rect)) << Describe(control) << " is not inside the frame of "
                                                  << Describe(group) << " below its title";
    }
    EXPECT_GT(members, 0) << Describe(group) << " frames nothing";
  }
  EXPECT_EQ(3, groups);
  for (std::size_t i = 0; i < controls.size(); ++i) {
    for (std::size_t j = i + 1; j < controls.size(); ++j) {
      if (IsGroup(controls[i]) || IsGroup(controls[j])) continue;
      EXPECT_FALSE(Intersect(controls[i].rect, controls[j].rect))
          << Describe(controls[i]) << " and " << Describe(controls[j]) << " overlap";
    }
  }
  const LONG bottom_margin = client.bottom - content_bottom;
  EXPECT_GE(bottom_margin, 0);
  EXPECT_LE(bottom_margin, side_margin + 2) << "empty space below the content";

  int captions = 0;
  for (const Placed& caption : controls) {
    if (caption.class_name != "Static") continue;
    ++captions;
    TEXTMETRICW metrics{};
    const SIZE text = TextSize(caption.window, caption.text, &metrics);
    RECT place{};
    GetClientRect(caption.window, &place);
    EXPECT_LE(text.cx, place.right) << Describe(caption) << " is cut";
    EXPECT_EQ(SS_RIGHT, caption.style & SS_TYPEMASK) << Describe(caption);
    const Placed* field = nullptr;
    for (const Placed& other : controls) {
      if (other.class_name != "Edit" || other.rect.left < caption.rect.left) continue;
      if (other.rect.bottom <= caption.rect.top || other.rect.top >= caption.rect.bottom) continue;
      if (field == nullptr || other.rect.left < field->rect.left) field = &other;
    }
    ASSERT_NE(nullptr, field) << Describe(caption) << " names no field";
    // Right-aligned, the text ends at the caption's right edge, clear of the field by three
    // quarters of an average character at least.
    EXPECT_GE(field->rect.left - caption.rect.right, (metrics.tmAveCharWidth * 3 + 3) / 4)
        << Describe(caption) << " touches " << Describe(*field);
  }
  EXPECT_EQ(4, captions);
}

// The visible tool tip of this process, or null.
HWND TheToolTip() {
  for (HWND window : OwnWindows("tooltips_class32")) return window;
  return nullptr;
}

// Moves the mouse, as a mouse does, to `point` of the screen.
void MoveMouse(POINT point) {
  INPUT input{};
  input.type = INPUT_MOUSE;
  input.mi.dx = static_cast<LONG>((point.x * 65535 + GetSystemMetrics(SM_CXSCREEN) / 2) / (GetSystemMetrics(SM_CXSCREEN) - 1));
  input.mi.dy = static_cast<LONG>((point.y * 65535 + GetSystemMetrics(SM_CYSCREEN) / 2) / (GetSystemMetrics(SM_CYSCREEN) - 1));
  input.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
  SendInput(1, &input, sizeof input);
}

// Every label the list cannot show whole is drawn with an ellipsis, and the tool tip shows it
// whole when the mouse rests on it; a label shown whole gets no tool tip. The dialog with the
// first of those tool tips goes to `screenshot`. Returns how many labels the list elides.
int CheckListToolTips(const char* screenshot) {
  HWND list = GetDlgItem(TheDialog(), kList);
  EXPECT_NE(0, GetWindowLongW(list, GWL_STYLE) & LBS_OWNERDRAWFIXED) << "the dialog draws the items, with ellipses";
  const std::vector<std::string> labels = ListLabels();
  int elided = 0;
  bool short_checked = false;
  for (int index = 0; index < static_cast<int>(labels.size()); ++index) {
    SendMessageW(list, LB_SETTOPINDEX, static_cast<WPARAM>(index), 0);
    RECT item{};
    SendMessageW(list, LB_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
    const bool cut = TextSize(list, labels[static_cast<std::size_t>(index)]).cx > item.right - item.left - 4;
    if (!cut && short_checked) continue;
    POINT centre{(item.left + item.right) / 2, (item.top + item.bottom) / 2};
    ClientToScreen(list, &centre);
    // Away first, so that the tool tip of another item goes, then onto the item.
    MoveMouse({0, 0});
    WaitFor([] { return TheToolTip() == nullptr; }, 10s);
    MoveMouse(centre);
    if (cut) {
      ++elided;
      EXPECT_TRUE(WaitFor([&] { return WindowText(TheToolTip()) == labels[static_cast<std::size_t>(index)]; }, 30s))
          << "no tool tip with the whole label '" << labels[static_cast<std::size_t>(index)] << "', but '"
          << WindowText(TheToolTip()) << "'";
      if (elided == 1) SaveScreenshot(TheDialog(), screenshot);
    } else {
      short_checked = true;
      std::this_thread::sleep_for(2s);  // longer than the tool tip's delay
      EXPECT_EQ(nullptr, TheToolTip()) << "a tool tip over '" << labels[static_cast<std::size_t>(index)]
                                       << "', shown whole: '" << WindowText(TheToolTip()) << "'";
    }
  }
  MoveMouse({0, 0});
  SendMessageW(list, LB_SETTOPINDEX, 0, 0);
  return elided;
}

// A user at the keyboard: `script` runs on a thread of its own while the host's thread shows the
// dialog. Whatever the script leaves open when it ends (after a failed expectation) is closed,
// once the dialog has had a generous time to close by itself, so that the host's call returns.
class KeyboardUser {
 public:
  explicit KeyboardUser(std::function<void()> script)
      : thread_([script = std::move(script)] {
          script();
          if (WaitFor([] { return TheDialog() == nullptr; }, 30s)) return;
          ADD_FAILURE() << "the dialog was still open when the user was done";
          while (HWND prompt = ThePrompt()) {
            PostMessageW(prompt, WM_COMMAND, IDOK, 0);
            WaitFor([&] { return ThePrompt() != prompt; }, 10s);
          }
          if (HWND dialog = TheDialog()) PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
        }) {}
  ~KeyboardUser() { thread_.join(); }
  KeyboardUser(const KeyboardUser&) = delete;
  KeyboardUser& operator=(const KeyboardUser&) = delete;

 private:
  std::thread thread_;
};

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

class WindowsDialogTest : public testing::Test {
 public:
  void SetUp() override {
    WriteTreeFile(kConfig, kSmallConfig);
    SetEnvironmentVariableA("QOR_RESMON_LIGHT", nullptr);
    char message[1024] = "";
    int32_t status = 1;
    ASSERT_EQ(0, plugin_.InitMonitor(nullptr, nullptr, nullptr, nullptr, &status, message, sizeof message)) << message;
  }
  void TearDown() override {
    plugin_.TerminateMonitor();
    RestoreTreeFile(kConfig);
  }

  // Reads the configuration the install tree ships in place of the test's own.
  void UseTheShippedConfiguration() {
    plugin_.TerminateMonitor();
    RestoreTreeFile(kConfig);
    char message[1024] = "";
    int32_t status = 1;
    ASSERT_EQ(0, plugin_.InitMonitor(nullptr, nullptr, nullptr, nullptr, &status, message, sizeof message)) << message;
  }

  // Calls BrowseMonitor on this thread while `script` acts at the dialog.
  Browse Call(const char* host, std::function<void()> script) {
    Browse browse;
    CounterDefinition* selection = reinterpret_cast<CounterDefinition*>(&browse);
    int32_t count = -99;
    char message[1024];
    std::memset(message, '#', sizeof message);
    message[sizeof message - 1] = '\0';
    {
      KeyboardUser user(std::move(script));
      browse.result = plugin_.BrowseMonitor(nullptr, host, &selection, &count, message, sizeof message);
    }
    browse.message = message;
    browse.array_returned = selection != nullptr && selection != reinterpret_cast<CounterDefinition*>(&browse);
    for (int32_t i = 0; browse.array_returned && i < count; ++i) {
      const CounterDefinition& record = selection[i];
      browse.records.push_back({record.counter, record.label, record.description, record.host, record.user_data});
    }
    if (count != 0 && !browse.array_returned) ADD_FAILURE() << count << " records without an array";
    return browse;
  }

 protected:
  const Plugin& plugin_ = ThePlugin();
};

// The layout of the edition of the process, with the shipped configuration, whose longer labels
// the list cannot show whole: checked, then shown with such a label selected in `screenshot`.
void CheckLayoutOfTheEdition(WindowsDialogTest& test, const char* screenshot, const char* tool_tip_screenshot);

class EnglishDialogTest : public WindowsDialogTest {
 public:
  void SetUp() override {
    if (ChineseInterface()) GTEST_SKIP() << "the English edition runs in a process with an English interface";
    WindowsDialogTest::SetUp();
  }
};

TEST_F(EnglishDialogTest, KeyboardSelectionAndEnterReturnTheRecordsInLabelOrder) {
  const Browse browse = Call("web1:8080", [] {
    ASSERT_TRUE(WaitFor(DialogReady)) << "the dialog never came up";
    EXPECT_EQ("iPlanet/Netscape - Add Measurements", WindowText(TheDialog()));
    EXPECT_EQ((std::vector<std::string>{"alpha sessions", "Bravo bytes", "Charlie requests"}), ListLabels());
    EXPECT_TRUE(FocusIs(kList)) << "the list has the focus first";
    EXPECT_EQ("81", Text(kPort));
    EXPECT_EQ("http://web1/https-admserv/.perf", Text(kUrl));
    EXPECT_EQ("admin", Text(kLogin));
    EXPECT_EQ("tovel", Text(kPassword));
    EXPECT_NE(0, SendMessageW(GetDlgItem(TheDialog(), kPassword), EM_GETPASSWORDCHAR, 0, 0)) << "the password is masked";
    Press(VK_HOME);
    ASSERT_TRUE(WaitFor([] { return SelectedCount() == 1; }));
    Press(VK_END, {VK_SHIFT});
    ASSERT_TRUE(WaitFor([] { return SelectedCount() == 3; }));
    // List, OK, Cancel, Login, Password, then Port; tabbing into an edit selects its text.
    Tab(5);
    ASSERT_TRUE(FocusIs(kPort));
    Type("8080");
    ASSERT_TRUE(WaitFor([] { return Text(kPort) == "8080"; })) << Text(kPort);
    Press(VK_RETURN);  // Enter presses the default button, OK
  });
  EXPECT_EQ(0, browse.result) << browse.message;
  ASSERT_EQ(3u, browse.records.size());
  const char* labels[] = {"alpha sessions", "Bravo bytes", "Charlie requests"};
  const char* counters[] = {"Active Sessions", "Bytes transferred:", "Total number of requests:"};
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(labels[i], browse.records[i].label);
    EXPECT_EQ(counters[i], browse.records[i].counter);
    EXPECT_EQ("web1", browse.records[i].host);
    EXPECT_EQ("8080|http://web1/https-admserv/.perf|admin|tovel", browse.records[i].user_data);
  }
}

TEST_F(EnglishDialogTest, TheDescriptionFollowsTheKeyboardSelection) {
  const Browse browse = Call("web1", [] {
    ASSERT_TRUE(WaitFor(DialogReady));
    Press(VK_HOME);
    EXPECT_TRUE(WaitFor([] { return Text(kDescription) == "Sessions open right now."; })) << Text(kDescription);
    Press(VK_DOWN, {VK_SHIFT});
    EXPECT_TRUE(WaitFor([] { return SelectedCount() == 2 && Text(kDescription).empty(); })) << Text(kDescription);
    Press(VK_UP, {VK_SHIFT});
    EXPECT_TRUE(WaitFor([] { return SelectedCount() == 1 && Text(kDescription) == "Sessions open right now."; }));
    Press(VK_DOWN);
    EXPECT_TRUE(WaitFor([] { return Text(kDescription) == "Bytes sent to clients."; })) << Text(kDescription);
    EXPECT_EQ(0, GetWindowLongW(GetDlgItem(TheDialog(), kDescription), GWL_STYLE) & WS_TABSTOP)
        << "the description is no tab stop";
    // Login, then Password: type over what is there.
    Tab(3);
    ASSERT_TRUE(FocusIs(kLogin));
    Type("operator");
    Tab(1);
    Type("secret");
    ASSERT_TRUE(WaitFor([] { return Text(kLogin) == "operator" && Text(kPassword) == "secret"; }));
    Tab(1);
    Type("8080");
    ASSERT_TRUE(WaitFor([] { return Text(kPort) == "8080"; }));
    // Back to the list: what was typed survives the description's refresh.
    Tab(5, {VK_SHIFT});
    ASSERT_TRUE(FocusIs(kList));
    Press(VK_UP);
    EXPECT_TRUE(WaitFor([] { return Text(kDescription) == "Sessions open right now."; })) << Text(kDescription);
    EXPECT_EQ("8080", Text(kPort));
    EXPECT_EQ("operator", Text(kLogin));
    SaveScreenshot(TheDialog(), "add-measurements-en.png");
    Press(VK_ESCAPE);
  });
  EXPECT_EQ(0, browse.result);
  EXPECT_TRUE(browse.records.empty()) << "Escape returns no records";
  EXPECT_TRUE(browse.array_returned) << "the selection slot still receives the array";
}

TEST_F(EnglishDialogTest, APortOfLettersBringsUpTheIntegerPromptAndTheDialogStaysOpen) {
  const Browse browse = Call("web1", [] {
    ASSERT_TRUE(WaitFor(DialogReady));
    Press(VK_HOME);
    ASSERT_TRUE(WaitFor([] { return SelectedCount() == 1; }));
    Tab(5);
    ASSERT_TRUE(FocusIs(kPort));
    Type("http");
    ASSERT_TRUE(WaitFor([] { return Text(kPort) == "http"; }));
    Press(VK_TAB);  // leaving the edit checks it
    ASSERT_TRUE(WaitFor([] { return ThePrompt() != nullptr; })) << "no prompt";
    EXPECT_NE(std::string::npos, PromptText().find("integer")) << PromptText();
    Press(VK_RETURN);  // the prompt's OK
    ASSERT_TRUE(WaitFor([] { return DialogReady() && FocusIs(kPort); })) << "the refused edit gets the focus back";
    DWORD start = 0;
    DWORD end = 0;
    SendMessageW(GetDlgItem(TheDialog(), kPort), EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                 reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(0u, start);
    EXPECT_EQ(4u, end) << "with its text selected";
    Press(VK_RETURN);  // OK with the port still refused
    ASSERT_TRUE(WaitFor([] { return ThePrompt() != nullptr; })) << "no prompt after OK";
    Press(VK_RETURN);
    ASSERT_TRUE(WaitFor([] { return DialogReady() && FocusIs(kPort); }));
    EXPECT_NE(nullptr, TheDialog()) << "nothing is returned yet";
    Type("82");
    ASSERT_TRUE(WaitFor([] { return Text(kPort) == "82"; })) << Text(kPort);
    Press(VK_RETURN);
  });
  EXPECT_EQ(0, browse.result);
  ASSERT_EQ(1u, browse.records.size());
  EXPECT_EQ("82|http://web1/https-admserv/.perf|admin|tovel", browse.records[0].user_data);
}

TEST_F(EnglishDialogTest, EscapeAndTheCloseKeyCancelAndTheConfirmedPropertiesComeBack) {
  // To the URL: list, OK, Cancel, Login, Password, Port, URL.
  Browse escaped = Call("web1", [] {
    ASSERT_TRUE(WaitFor(DialogReady));
    Tab(6);
    ASSERT_TRUE(FocusIs(kUrl));
    Type("http://web1:8080/stats");
    ASSERT_TRUE(WaitFor([] { return Text(kUrl) == "http://web1:8080/stats"; }));
    Press(VK_ESCAPE);
  });
  EXPECT_EQ(0, escaped.result);
  EXPECT_TRUE(escaped.records.empty());

  Browse confirmed = Call("web1", [] {
    ASSERT_TRUE(WaitFor(DialogReady));
    EXPECT_EQ("http://web1/https-admserv/.perf", Text(kUrl)) << "Escape remembered nothing";
    Tab(5);
    Type("8080");
    Tab(1);
    Type("http://web1:8080/stats");
    ASSERT_TRUE(WaitFor([] { return Text(kUrl) == "http://web1:8080/stats" && Text(kPort) == "8080"; }));
    Press(VK_RETURN);
  });
  EXPECT_EQ(0, confirmed.result);
  EXPECT_TRUE(confirmed.records.empty()) << "OK with nothing selected";

  Browse closed = Call("web1", [] {
    ASSERT_TRUE(WaitFor(DialogReady));
    EXPECT_EQ("8080", Text(kPort));
    EXPECT_EQ("http://web1:8080/stats", Text(kUrl));
    Press(VK_F4, {VK_MENU});  // the window's close command
  });
  EXPECT_EQ(0, closed.result);
  EXPECT_TRUE(closed.records.empty());
  EXPECT_TRUE(closed.array_returned);
}

TEST_F(EnglishDialogTest, HelpAndF1OpenTheHelpFileBesideTheHostProgram) {
  std::error_code error;
  std::filesystem::copy_file(std::string(SARVIK_STAGE_DIR) + "/bin/online.chm", TreeRoot() + "/bin/online.chm",
                             std::filesystem::copy_options::overwrite_existing, error);
  ASSERT_FALSE(error) << "online.chm is staged beside the plug-in: " << error.message();
  const Browse browse = Call("web1", [] {
    ASSERT_TRUE(WaitFor(DialogReady));
    Press('H', {VK_MENU});  // the Help button's mnemonic
    ASSERT_TRUE(WaitFor([] { return TheHelpWindow() != nullptr; })) << "the Help button opened no help";
    EXPECT_EQ("iPlanet/Netscape Monitor Help", WindowText(TheHelpWindow())) << "the product's own help file";
    EXPECT_NE(nullptr, TheDialog()) << "help never ends the dialog";
    HWND first = TheHelpWindow();
    PostMessageW(first, WM_CLOSE, 0, 0);
    ASSERT_TRUE(WaitFor([] { return TheHelpWindow() == nullptr; }));
    SetForegroundWindow(TheDialog());
    ASSERT_TRUE(WaitFor(DialogReady));
    Press(VK_F1);
    ASSERT_TRUE(WaitFor([] { return TheHelpWindow() != nullptr; })) << "F1 opened no help";
    EXPECT_EQ("iPlanet/Netscape Monitor Help", WindowText(TheHelpWindow()));
    PostMessageW(TheHelpWindow(), WM_CLOSE, 0, 0);
    ASSERT_TRUE(WaitFor([] { return TheHelpWindow() == nullptr; }));
    SetForegroundWindow(TheDialog());
    ASSERT_TRUE(WaitFor(DialogReady));
    Press(VK_ESCAPE);
  });
  EXPECT_EQ(0, browse.result);
}

TEST_F(EnglishDialogTest, TheLayoutFramesTheGroupsFitsTheCaptionsAndEndsBelowTheContent) {
  CheckLayoutOfTheEdition(*this, "add-measurements-en-long-labels.png", "add-measurements-en-tool-tip.png");
}

void CheckLayoutOfTheEdition(WindowsDialogTest& test, const char* screenshot, const char* tool_tip_screenshot) {
  test.UseTheShippedConfiguration();
  int elided = 0;
  const Browse browse = test.Call("web1", [&] {
    ASSERT_TRUE(WaitFor(DialogReady)) << "the dialog never came up";
    CheckLayout(TheDialog());
    elided = CheckListToolTips(tool_tip_screenshot);
    // The long label the list elides, selected with the keyboard: its description shows.
    const std::vector<std::string> labels = ListLabels();
    const auto found = std::find(labels.begin(), labels.end(), "Default Bucket Average Function Time (s)");
    ASSERT_NE(labels.end(), found);
    SetForegroundWindow(TheDialog());
    ASSERT_TRUE(WaitFor(DialogReady));
    Press(VK_HOME);
    for (auto it = labels.begin(); it != found; ++it) Press(VK_DOWN);
    ASSERT_TRUE(WaitFor([] { return Text(kDescription).find("function") != std::string::npos; })) << Text(kDescription);
    SaveScreenshot(TheDialog(), screenshot);
    Press(VK_ESCAPE);
  });
  EXPECT_EQ(0, browse.result);
  EXPECT_GT(elided, 0) << "the shipped configuration has labels longer than the list is wide";
}

class ChineseDialogTest : public WindowsDialogTest {
 public:
  void SetUp() override {
    if (!ChineseInterface()) GTEST_SKIP() << "the Chinese edition runs in a process with a Chinese interface";
    WindowsDialogTest::SetUp();
  }
};

TEST_F(ChineseDialogTest, TheChineseEditionIsChosenByTheUserInterfaceLanguage) {
  const Browse browse = Call("web1", [] {
    ASSERT_TRUE(WaitFor(DialogReady));
    EXPECT_EQ("iPlanet/Netscape - 添加度量", WindowText(TheDialog()));
    EXPECT_EQ("确定", Text(IDOK));
    EXPECT_EQ("取消", Text(IDCANCEL));
    EXPECT_EQ("帮助(&H)", Text(kHelp));
    Press(VK_END);
    EXPECT_TRUE(WaitFor([] { return Text(kDescription) == "How many requests were served."; }));
    Tab(5);
    ASSERT_TRUE(FocusIs(kPort));
    Type("8080");
    ASSERT_TRUE(WaitFor([] { return Text(kPort) == "8080"; }));
    SaveScreenshot(TheDialog(), "add-measurements-zh.png");
    Press(VK_RETURN);
  });
  EXPECT_EQ(0, browse.result);
  ASSERT_EQ(1u, browse.records.size());
  EXPECT_EQ("Charlie requests", browse.records[0].label);
  EXPECT_EQ("8080|http://web1/https-admserv/.perf|admin|tovel", browse.records[0].user_data);
}

TEST_F(ChineseDialogTest, TheLayoutFramesTheGroupsFitsTheCaptionsAndEndsBelowTheContent) {
  CheckLayoutOfTheEdition(*this, "add-measurements-zh-long-labels.png", "add-measurements-zh-tool-tip.png");
}

}  // namespace
