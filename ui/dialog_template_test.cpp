#include "ui/dialog_template.h"

#include <gtest/gtest.h>

#include "ui/dialog_view.h"

namespace {

struct ExpectedControl {
  ControlKind kind;
  int id;
  DialogRect rect;
  const char* styles;
  const char* text;
};

std::string Styles(const ControlTemplate& control) {
  std::string joined;
  for (const std::string& style : control.styles) joined += (joined.empty() ? "" : "|") + style;
  return joined;
}

void ExpectControls(const DialogTemplate& dialog, const std::vector<ExpectedControl>& expected) {
  ASSERT_EQ(expected.size(), dialog.controls.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    const ControlTemplate& control = dialog.controls[i];
    SCOPED_TRACE("control " + std::to_string(i) + " '" + expected[i].text + "'");
    EXPECT_EQ(expected[i].kind, control.kind);
    EXPECT_EQ(expected[i].id, control.id);
    EXPECT_EQ(expected[i].rect, control.rect);
    EXPECT_EQ(expected[i].styles, Styles(control));
    EXPECT_EQ(expected[i].text, control.text);
  }
}

constexpr char kEdit[] = "BORDER|TABSTOP|AUTOHSCROLL";

TEST(DialogTemplateTest, TheEnglishAddMeasurementsTemplate) {
  const std::optional<DialogTemplate> dialog = LoadDialogTemplate(kAddMeasurementsDialogId, Edition::kEnglish);
  ASSERT_TRUE(dialog.has_value());
  EXPECT_EQ(11001, dialog->id);
  EXPECT_EQ(219, dialog->width);
  EXPECT_EQ(260, dialog->height);
  EXPECT_EQ("iPlanet/Netscape - Add Measurements", dialog->caption);
  EXPECT_EQ(8, dialog->point_size);
  EXPECT_EQ("MS Sans Serif", dialog->font_face);
  ExpectControls(*dialog,
                 {{ControlKind::kListBox, 11002, {12, 11, 138, 87},
                   "BORDER|VSCROLL|TABSTOP|SORT|EXTENDEDSEL|NOTIFY|NOINTEGRALHEIGHT", ""},
                  {ControlKind::kDefPushButton, 1, {162, 16, 50, 14}, "TABSTOP", "OK"},
                  {ControlKind::kPushButton, 2, {162, 33, 50, 14}, "TABSTOP", "Cancel"},
                  {ControlKind::kEditText, 11006, {49, 115, 80, 12}, kEdit, ""},
                  {ControlKind::kEditText, 11007, {49, 130, 80, 12}, "BORDER|TABSTOP|AUTOHSCROLL|PASSWORD", ""},
                  {ControlKind::kEditText, 11003, {31, 148, 25, 12}, kEdit, ""},
                  {ControlKind::kEditText, 11004, {85, 148, 120, 12}, kEdit, ""},
                  {ControlKind::kEditText, 11005, {13, 179, 193, 34}, "BORDER|VSCROLL|MULTILINE|AUTOVSCROLL|READONLY", ""},
                  {ControlKind::kRightText, -1, {13, 149, 14, 9}, "", "Port:"},
                  {ControlKind::kRightText, -1, {62, 150, 20, 9}, "", "URL:"},
                  {ControlKind::kGroupBox, -1, {7, 169, 205, 49}, "", "Description"},
                  {ControlKind::kGroupBox, -1, {8, 1, 146, 101}, "", "Available Measurements :"},
                  {ControlKind::kGroupBox, -1, {7, 106, 205, 61}, "", "Server Properties"},
                  {ControlKind::kRightText, -1, {12, 116, 34, 9}, "", "Login:"},
                  {ControlKind::kRightText, -1, {12, 131, 34, 9}, "", "Password:"},
                  {ControlKind::kPushButton, 1018, {162, 50, 50, 14}, "TABSTOP", "&Help"}});
  EXPECT_EQ("Please enter an integer.", dialog->Prompt("integer"));
  EXPECT_EQ("Please enter no more than 1024 characters.", dialog->Prompt("max_characters", "1024"));
  EXPECT_EQ("", dialog->Prompt("no such prompt"));
}

TEST(DialogTemplateTest, TheSimplifiedChineseTemplateDiffersInFontTextsAndThreePlaces) {
  const std::optional<DialogTemplate> dialog =
      LoadDialogTemplate(kAddMeasurementsDialogId, Edition::kSimplifiedChinese);
  ASSERT_TRUE(dialog.has_value());
  EXPECT_EQ(219, dialog->width);
  EXPECT_EQ(260, dialog->height);
  EXPECT_EQ("iPlanet/Netscape - 添加度量", dialog->caption);
  EXPECT_EQ(9, dialog->point_size);
  EXPECT_EQ("宋体", dialog->font_face);
  ExpectControls(*dialog,
                 {{ControlKind::kListBox, 11002, {12, 11, 138, 87},
                   "BORDER|VSCROLL|TABSTOP|SORT|EXTENDEDSEL|NOTIFY|NOINTEGRALHEIGHT", ""},
                  {ControlKind::kDefPushButton, 1, {162, 16, 50, 14}, "TABSTOP", "确定"},
                  {ControlKind::kPushButton, 2, {162, 33, 50, 14}, "TABSTOP", "取消"},
                  {ControlKind::kEditText, 11006, {49, 115, 80, 12}, kEdit, ""},
                  {ControlKind::kEditText, 11007, {49, 130, 80, 12}, "BORDER|TABSTOP|AUTOHSCROLL|PASSWORD", ""},
                  {ControlKind::kEditText, 11003, {34, 148, 25, 12}, kEdit, ""},
                  {ControlKind::kEditText, 11004, {85, 148, 120, 12}, kEdit, ""},
                  {ControlKind::kEditText, 11005, {13, 179, 193, 34}, "BORDER|VSCROLL|MULTILINE|AUTOVSCROLL|READONLY", ""},
                  {ControlKind::kRightText, -1, {13, 149, 20, 9}, "", "端口:"},
                  {ControlKind::kRightText, -1, {62, 150, 20, 9}, "", "URL:"},
                  {ControlKind::kGroupBox, -1, {7, 169, 205, 49}, "", "描述"},
                  {ControlKind::kGroupBox, -1, {8, 1, 146, 101}, "", "可用度量:"},
                  {ControlKind::kGroupBox, -1, {7, 106, 205, 61}, "", "服务器属性"},
                  {ControlKind::kRightText, -1, {12, 116, 37, 8}, "", "登录名称:"},
                  {ControlKind::kRightText, -1, {12, 131, 34, 9}, "", "密码:"},
                  {ControlKind::kPushButton, 1018, {162, 50, 50, 14}, "TABSTOP", "帮助(&H)"}});
  EXPECT_EQ("请输入不超过 1024 个字符。", dialog->Prompt("max_characters", "1024"));
}

TEST(DialogTemplateTest, OnlyTheAddMeasurementsTemplateExists) {
  EXPECT_FALSE(LoadDialogTemplate(11002, Edition::kEnglish).has_value());
}

TEST(DialogTemplateTest, ReadsEscapesAndRefusesMalformedLines) {
  DialogTemplate dialog;
  std::string error;
  ASSERT_TRUE(ParseDialogTemplate("# comment\r\n\ndialog\t7\t10\t20\t-\r\ncaption\tA\\tB\\\\C\\nD\n"
                                  "control\tLTEXT\t-1\t1\t2\t3\t4\t-\t\nprompt\tx\t%1 and %1\n",
                                  &dialog, &error))
      << error;
  EXPECT_EQ(7, dialog.id);
  EXPECT_TRUE(dialog.styles.empty());
  EXPECT_EQ("A\tB\\C\nD", dialog.caption);
  ASSERT_EQ(1u, dialog.controls.size());
  EXPECT_EQ("", dialog.controls[0].text);
  EXPECT_EQ(nullptr, dialog.FindControl(-1)) << "controls without identifier are not found by it";
  EXPECT_EQ("y and y", dialog.Prompt("x", "y"));

  const char* malformed[] = {
      "caption\tno dialog line",
      "dialog\t1\t2\t3",
      "dialog\t1\t2\tx\t-",
      "dialog\t1\t2\t3\t-\ncontrol\tCOMBOBOX\t1\t1\t1\t1\t1\t-\t",
      "dialog\t1\t2\t3\t-\ncontrol\tLTEXT\t1\t1\t1\t1\t-\tshort",
      "dialog\t1\t2\t3\t-\nfont\t8",
      "dialog\t1\t2\t3\t-\nicon\tx",
  };
  for (const char* text : malformed) {
    EXPECT_FALSE(ParseDialogTemplate(text, &dialog, &error)) << text;
    EXPECT_FALSE(error.empty());
  }
  EXPECT_EQ(7, dialog.id) << "a refused text leaves the template as it was";
}

TEST(DialogUnitsTest, BaseUnitsAndMappingRoundAsTheOriginalSystem) {
  // A font whose 52 letters are 312 pixels wide (6 each) and 13 high: 6 x 13 base units.
  EXPECT_EQ(6, BaseUnitsOfFont(312, 13).x);
  EXPECT_EQ(13, BaseUnitsOfFont(312, 13).y);
  EXPECT_EQ(7, BaseUnitsOfFont(345, 15).x);  // 13.27 per letter: (13 + 1) / 2
  EXPECT_EQ(6, BaseUnitsOfFont(337, 15).x);  // 12.96: (12 + 1) / 2

  const DialogBaseUnits units{6, 13};
  EXPECT_EQ((DialogRect{0, 0, 329, 423}), MapDialogRect({0, 0, 219, 260}, units));
  EXPECT_EQ((DialogRect{18, 18, 207, 141}), MapDialogRect({12, 11, 138, 87}, units));
  EXPECT_EQ((DialogRect{47, 241, 38, 20}), MapDialogRect({31, 148, 25, 12}, units));
}

TEST(ListOrderTest, NewItemsGoAfterEverythingThatSortsBeforeOrEqualIgnoringCase) {
  std::vector<std::string> labels;
  auto add = [&](const std::string& label) {
    labels.insert(labels.begin() + static_cast<std::ptrdiff_t>(ListSortPosition(labels, label)), label);
  };
  for (const char* label : {"charlie", "Bravo", "alpha", "ALPHA", "bravo 2", "Zulu", "able"}) add(label);
  EXPECT_EQ((std::vector<std::string>{"able", "alpha", "ALPHA", "Bravo", "bravo 2", "charlie", "Zulu"}), labels);
}

}  // namespace
