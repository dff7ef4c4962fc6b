// The HTML Help engine of the Windows edition, found and loaded the way the dialog's Help button
// and F1 load it: through the class registration of the HTML Help control, or by name when the
// registration is missing or wrong; a request opens the help window at the product's help file.
// The registration is changed for a test and put back after it.
#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "platform/help_engine.h"

namespace {

constexpr char kServerKey[] = "CLSID\\{ADB880A6-D8FF-11CF-9377-00AA003B7A11}\\InprocServer32";

std::optional<std::string> ReadRegistration() {
  char value[MAX_PATH] = {};
  DWORD size = sizeof value;
  if (RegGetValueA(HKEY_CLASSES_ROOT, kServerKey, nullptr, RRF_RT_REG_SZ, nullptr, value, &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  return std::string(value);
}

void WriteRegistration(const std::optional<std::string>& value) {
  if (!value) {
    RegDeleteKeyA(HKEY_CLASSES_ROOT, kServerKey);
    return;
  }
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CLASSES_ROOT, kServerKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                                           nullptr));
  RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value->c_str()),
                 static_cast<DWORD>(value->size() + 1));
  RegCloseKey(key);
}

// The top-level window of this process that shows the help file's title.
HWND HelpWindow() {
  struct Search {
    HWND found = nullptr;
  } search;
  EnumWindows(
      [](HWND window, LPARAM context) -> BOOL {
        DWORD process = 0;
        GetWindowThreadProcessId(window, &process);
        char name[64] = {};
        GetClassNameA(window, name, sizeof name);
        if (process == GetCurrentProcessId() && std::string(name) == "HH Parent") {
          reinterpret_cast<Search*>(context)->found = window;
          return FALSE;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

std::string TitleOf(HWND window) {
  char title[256] = {};
  GetWindowTextA(window, title, sizeof title);
  return title;
}

class HelpEngineWindowsTest : public testing::Test {
 protected:
  void SetUp() override { saved_ = ReadRegistration(); }
  void TearDown() override { WriteRegistration(saved_); }

  std::optional<std::string> saved_;
};

TEST_F(HelpEngineWindowsTest, TheRegisteredEngineOpensTheHelpFileAtTheContextsTopic) {
  ASSERT_TRUE(saved_.has_value()) << "the HTML Help control is registered on this system";
  std::unique_ptr<HelpEngine> engine = LoadPlatformHelpEngine();
  ASSERT_NE(nullptr, engine);

  HelpRequest request;
  // Joined the way the portable code joins it: the engine passes the system's separators on.
  request.help_file = std::string(SARVIK_STAGE_DIR) + "\\bin/online.chm";
  request.command = kHelpCommandContext;
  request.context = 1068;
  engine->Show(request);
  HWND window = HelpWindow();
  ASSERT_NE(nullptr, window) << "no help window for " << request.help_file;
  EXPECT_EQ("iPlanet/Netscape Monitor Help", TitleOf(window));
  SendMessageA(window, WM_CLOSE, 0, 0);  // the engine ends its own window
}

TEST_F(HelpEngineWindowsTest, WithoutTheRegistrationTheEngineIsLoadedByName) {
  WriteRegistration(std::nullopt);
  ASSERT_FALSE(ReadRegistration().has_value());
  EXPECT_NE(nullptr, LoadPlatformHelpEngine()) << "hhctrl.ocx on the search path";

  WriteRegistration(std::string("C:\\no such folder\\hhctrl.ocx"));
  EXPECT_NE(nullptr, LoadPlatformHelpEngine()) << "a registration that names no file";
}

TEST_F(HelpEngineWindowsTest, AMissingHelpFileIsLeftToTheEngine) {
  std::unique_ptr<HelpEngine> engine = LoadPlatformHelpEngine();
  ASSERT_NE(nullptr, engine);
  HelpRequest request;
  request.help_file = std::string(SARVIK_STAGE_DIR) + "\\bin\\..\\help\\no-such-help.chm";
  request.context = 1068;
  engine->Show(request);
  EXPECT_EQ(nullptr, HelpWindow()) << "the engine shows nothing for a file that is not there";
}

// The light installation's help, by the path the plug-in forms (the ".." stays), and the help
// of the Chinese edition: each opens at the dialog's context.
TEST_F(HelpEngineWindowsTest, TheLightInstallationsAndTheChineseHelpOpenToo) {
  std::unique_ptr<HelpEngine> engine = LoadPlatformHelpEngine();
  ASSERT_NE(nullptr, engine);
  for (const char* file : {"\\bin/../help/Help.chm", "\\bin/zh_CN/online.chm", "\\bin/../help/zh_CN/Help.chm"}) {
    HelpRequest request;
    request.help_file = std::string(SARVIK_STAGE_DIR) + file;
    request.command = kHelpCommandContext;
    request.context = 1068;
    engine->Show(request);
    HWND window = HelpWindow();
    ASSERT_NE(nullptr, window) << "no help window for " << request.help_file;
    EXPECT_NE(std::string::npos, TitleOf(window).find("iPlanet/Netscape")) << request.help_file;
    SendMessageA(window, WM_CLOSE, 0, 0);  // the engine ends its own window
  }
}

}  // namespace
