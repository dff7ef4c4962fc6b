#include "ui/dialog_template.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>

#include "ui/dialog_view.h"

namespace {

constexpr Edition kEditions[] = {Edition::kEnglish, Edition::kSimplifiedChinese};

const char* EditionName(Edition edition) {
  return edition == Edition::kEnglish ? "English" : "Simplified Chinese";
}

std::string Describe(const ControlTemplate& control) {
  return "control " + std::to_string(control.id) + " '" + control.text + "'";
}

bool Inside(const DialogRect& inner, const DialogRect& outer) {
  return inner.x >= outer.x && inner.y >= outer.y && inner.x + inner.width <= outer.x + outer.width &&
         inner.y + inner.height <= outer.y + outer.height;
}

bool Overlap(const DialogRect& a, const DialogRect& b) {
  return a.x < b.x + b.width && b.x < a.x + a.width && a.y < b.y + b.height && b.y < a.y + a.height;
}

DialogTemplate Load(Edition edition) {
  std::optional<DialogTemplate> dialog = LoadDialogTemplate(kAddMeasurementsDialogId, edition);
  EXPECT_TRUE(dialog.has_value()) << EditionName(edition);
  return dialog.value_or(DialogTemplate{});
}

TEST(DialogTemplateTest, EveryControlFitsTheDialogAndNoneHidesAnother) {
  for (Edition edition : kEditions) {
    SCOPED_TRACE(EditionName(edition));
    const DialogTemplate dialog = Load(edition);
    ASSERT_FALSE(dialog.controls.empty());
    EXPECT_EQ(kAddMeasurementsDialogId, dialog.id);
    const DialogRect bounds{0, 0, dialog.width, dialog.height};
    for (const ControlTemplate& control : dialog.controls) {
      EXPECT_GT(control.rect.width, 0) << Describe(control);
      EXPECT_GT(control.rect.height, 0) << Describe(control);
      EXPECT_TRUE(Inside(control.rect, bounds)) << Describe(control) << " reaches outside the dialog";
    }
    for (std::size_t i = 0; i < dialog.controls.size(); ++i) {
      for (std::size_t j = i + 1; j < dialog.controls.size(); ++j) {
        const ControlTemplate& a = dialog.controls[i];
        const ControlTemplate& b = dialog.controls[j];
        if (!Overlap(a.rect, b.rect)) continue;
        const bool a_frames_b = a.kind == ControlKind::kGroupBox && b.kind != ControlKind::kGroupBox &&
                                Inside(b.rect, a.rect);
        const bool b_frames_a = b.kind == ControlKind::kGroupBox && a.kind != ControlKind::kGroupBox &&
                                Inside(a.rect, b.rect);
        EXPECT_TRUE(a_frames_b || b_frames_a) << Describe(a) << " and " << Describe(b) << " overlap";
      }
    }
  }
}

// In dialog units the font is 8 units high, whatever font an edition uses.
constexpr int kTitleLineHeight = 8;
constexpr int kMarginToTheFrames = 7;
constexpr int kCaptionGap = 4;

TEST(DialogTemplateTest, GroupsHoldTheirControlsBelowTheTitleAndTheDialogIsAsTallAsItsContent) {
  for (Edition edition : kEditions) {
    SCOPED_TRACE(EditionName(edition));
    const DialogTemplate dialog = Load(edition);
    int content_bottom = 0;
    for (const ControlTemplate& control : dialog.controls) {
      content_bottom = std::max(content_bottom, control.rect.y + control.rect.height);
    }
    EXPECT_LE(dialog.height - content_bottom, kMarginToTheFrames) << "empty space below the last control";
    EXPECT_GE(dialog.height - content_bottom, 1) << "the last control touches the dialog's edge";

    for (const ControlTemplate& group : dialog.controls) {
      if (group.kind != ControlKind::kGroupBox) continue;
      int members = 0;
      for (const ControlTemplate& control : dialog.controls) {
        if (control.kind == ControlKind::kGroupBox || !Overlap(control.rect, group.rect)) continue;
        ++members;
        EXPECT_TRUE(Inside(control.rect, group.rect)) << Describe(control) << " crosses the frame of " << Describe(group);
        EXPECT_GE(control.rect.y, group.rect.y + kTitleLineHeight + 1)
            << Describe(control) << " reaches into the title of " << Describe(group);
        EXPECT_GE(control.rect.x, group.rect.x + 2) << Describe(control) << " lies on the frame of " << Describe(group);
        EXPECT_LE(control.rect.x + control.rect.width, group.rect.x + group.rect.width - 2)
            << Describe(control) << " lies on the frame of " << Describe(group);
        EXPECT_LE(control.rect.y + control.rect.height, group.rect.y + group.rect.height - 2)
            << Describe(control) << " lies on the frame of " << Describe(group);
      }
      EXPECT_GT(members, 0) << Describe(group) << " frames nothing";
    }
  }
}

TEST(DialogTemplateTest, EveryCaptionEndsClearOfTheFieldItNames) {
  for (Edition edition : kEditions) {
    SCOPED_TRACE(EditionName(edition));
    const DialogTemplate dialog = Load(edition);
    int captions = 0;
    for (const ControlTemplate& caption : dialog.controls) {
      if (caption.kind != ControlKind::kRightText) continue;
      // The field a caption names: the nearest edit to its right on the same line.
      const ControlTemplate* field = nullptr;
      for (const ControlTemplate& control : dialog.controls) {
        const bool same_line = control.rect.y < caption.rect.y + caption.rect.height &&
                               caption.rect.y < control.rect.y + control.rect.height;
        if (control.kind != ControlKind::kEditText || !same_line || control.rect.x < caption.rect.x) continue;
        if (field == nullptr || control.rect.x < field->rect.x) field = &control;
      }
      ASSERT_NE(nullptr, field) << Describe(caption) << " names no field";
      ++captions;
      EXPECT_GE(field->rect.x - (caption.rect.x + caption.rect.width), kCaptionGap)
          << Describe(caption) << " touches " << Describe(*field);
    }
    EXPECT_EQ(4, captions) << "login, password, port and URL";
  }
}

TEST(DialogTemplateTest, BothEditionsHaveTheSameControlsInTheSameOrder) {
  const DialogTemplate english = Load(Edition::kEnglish);
  const DialogTemplate chinese = Load(Edition::kSimplifiedChinese);
  EXPECT_EQ(english.width, chinese.width);
  EXPECT_EQ(english.height, chinese.height);
  EXPECT_EQ(english.styles, chinese.styles);
  ASSERT_EQ(english.controls.size(), chinese.controls.size());
  for (std::size_t i = 0; i < english.controls.size(); ++i) {
    const ControlTemplate& a = english.controls[i];
    const ControlTemplate& b = chinese.controls[i];
    SCOPED_TRACE("control " + std::to_string(i) + ": " + Describe(a) + " / " + Describe(b));
    EXPECT_EQ(a.id, b.id);
    EXPECT_EQ(a.kind, b.kind);
    EXPECT_EQ(a.styles, b.styles) << "the tab order and behaviour do not depend on the edition";
  }
  ASSERT_EQ(english.prompts.size(), chinese.prompts.size());
  for (const auto& [name, text] : english.prompts) {
    const auto translated = chinese.prompts.find(name);
    ASSERT_NE(chinese.prompts.end(), translated) << "prompt " << name;
    EXPECT_EQ(text.find("%1") != std::string::npos, translated->second.find("%1") != std::string::npos)
        << "prompt " << name << " takes its number in both editions or in neither";
  }
}

TEST(DialogTemplateTest, TheDialogHasItsCaptionsButtonsListAndEntries) {
  for (Edition edition : kEditions) {
    SCOPED_TRACE(EditionName(edition));
    const DialogTemplate dialog = Load(edition);
    EXPECT_NE(std::string::npos, dialog.caption.find("iPlanet/Netscape - "));
    EXPECT_GT(dialog.point_size, 0);
    EXPECT_FALSE(dialog.font_face.empty());

    struct Wanted {
      int id;
      ControlKind kind;
    };
    for (const Wanted& wanted : {Wanted{kIdOk, ControlKind::kDefPushButton}, Wanted{kIdCancel, ControlKind::kPushButton},
                                 Wanted{kIdHelp, ControlKind::kPushButton},
                                 Wanted{kIdMeasurementList, ControlKind::kListBox},
                                 Wanted{kIdLogin, ControlKind::kEditText}, Wanted{kIdPassword, ControlKind::kEditText},
                                 Wanted{kIdPort, ControlKind::kEditText}, Wanted{kIdUrl, ControlKind::kEditText},
                                 Wanted{kIdDescription, ControlKind::kEditText}}) {
      const ControlTemplate* control = dialog.FindControl(wanted.id);
      ASSERT_NE(nullptr, control) << "control " << wanted.id;
      EXPECT_EQ(wanted.kind, control->kind) << Describe(*control);
    }
    for (const ControlTemplate& control : dialog.controls) {
      const bool captioned = control.kind == ControlKind::kPushButton || control.kind == ControlKind::kDefPushButton ||
                             control.kind == ControlKind::kGroupBox || control.kind == ControlKind::kLeftText ||
                             control.kind == ControlKind::kRightText;
      if (captioned) {
        EXPECT_FALSE(control.text.empty()) << Describe(control) << " has no caption";
      }
    }
    EXPECT_NE(std::string::npos, dialog.FindControl(kIdHelp)->text.find('&')) << "the help button has its mnemonic";
    EXPECT_TRUE(dialog.FindControl(kIdPassword)->HasStyle("PASSWORD"));
    EXPECT_TRUE(dialog.FindControl(kIdDescription)->HasStyle("READONLY"));
    EXPECT_TRUE(dialog.FindControl(kIdMeasurementList)->HasStyle("EXTENDEDSEL")) << "several counters at once";
    EXPECT_TRUE(dialog.FindControl(kIdMeasurementList)->HasStyle("SORT"));
    for (const char* prompt : {"integer", "max_characters", "no_display"}) {
      EXPECT_FALSE(dialog.Prompt(prompt, "1024").empty()) << prompt;
    }
    EXPECT_NE(std::string::npos, dialog.Prompt("max_characters", "1024").find("1024"));
    EXPECT_EQ("", dialog.Prompt("no such prompt"));
  }
}

TEST(DialogTemplateTest, EachEditionSpeaksItsOwnLanguage) {
  const DialogTemplate english = Load(Edition::kEnglish);
  const DialogTemplate chinese = Load(Edition::kSimplifiedChinese);
  EXPECT_EQ("iPlanet/Netscape - Add Measurements", english.caption);
  EXPECT_EQ("OK", english.FindControl(kIdOk)->text);
  EXPECT_EQ("Please enter no more than 1024 characters.", english.Prompt("max_characters", "1024"));
  EXPECT_NE(english.caption, chinese.caption);
  for (const ControlTemplate& control : chinese.controls) {
    if (control.kind != ControlKind::kPushButton && control.kind != ControlKind::kDefPushButton) continue;
    EXPECT_NE(english.FindControl(control.id)->text, control.text) << Describe(control) << " is not translated";
  }
  EXPECT_NE(english.font_face, chinese.font_face) << "the Chinese edition needs a font with its characters";
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

TEST(FitCaptionTest, ACaptionThatFitsKeepsItsPlace) {
  const std::vector<PlacedControl> controls = {{ControlKind::kRightText, {20, 10, 50, 12}},
                                               {ControlKind::kEditText, {76, 10, 100, 14}}};
  EXPECT_EQ(controls[0].rect, FitCaption(controls, 0, 50, 300, 6, 3));
}

TEST(FitCaptionTest, AWideRightAlignedCaptionGrowsLeftUpToTheFrameAroundIt) {
  const std::vector<PlacedControl> controls = {{ControlKind::kGroupBox, {10, 0, 280, 60}},
                                               {ControlKind::kRightText, {20, 10, 50, 12}},
                                               {ControlKind::kEditText, {76, 10, 100, 14}}};
  // 55 pixels of text: the caption starts 5 pixels further left, its right edge stays.
  EXPECT_EQ((DialogRect{15, 10, 55, 12}), FitCaption(controls, 1, 55, 300, 6, 3));
  EXPECT_EQ((DialogRect{13, 10, 57, 12}), FitCaption(controls, 1, 90, 300, 6, 3)) << "3 pixels inside the frame";
}

TEST(FitCaptionTest, ACaptionStopsAGapFromTheControlBesideIt) {
  const std::vector<PlacedControl> controls = {{ControlKind::kEditText, {0, 12, 30, 14}},
                                               {ControlKind::kRightText, {40, 10, 20, 12}},
                                               {ControlKind::kLeftText, {70, 40, 20, 12}},
                                               {ControlKind::kPushButton, {100, 38, 40, 14}}};
  EXPECT_EQ((DialogRect{36, 10, 24, 12}), FitCaption(controls, 1, 50, 300, 6, 3));
  EXPECT_EQ((DialogRect{70, 40, 24, 12}), FitCaption(controls, 2, 50, 300, 6, 3)) << "a left-aligned one grows right";
  const std::vector<PlacedControl> alone = {{ControlKind::kLeftText, {250, 0, 20, 12}}};
  EXPECT_EQ((DialogRect{250, 0, 44, 12}), FitCaption(alone, 0, 80, 300, 6, 3)) << "up to the dialog's side";
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
