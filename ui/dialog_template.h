// Dialog templates kept as data: the dialogs' controls, texts, positions and styles, in dialog
// units, as the plug-in's resources carry them for each edition. The Qt view builds its window
// from a template; the dialog logic reads the prompts from it.
//
// The text format, one entry a line, fields separated by tabs ('#' lines and blank lines skipped):
//   dialog   ID  WIDTH  HEIGHT  STYLES
//   caption  TEXT
//   font     POINTS  FACE
//   control  KIND  ID  X  Y  WIDTH  HEIGHT  STYLES  TEXT
//   prompt   NAME  TEXT
// STYLES are names joined with '|', or '-' for none; ID -1 is a control without identifier; TEXT
// takes the escapes \t, \n and \\.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/process.h"

enum class ControlKind { kListBox, kPushButton, kDefPushButton, kEditText, kLeftText, kRightText, kGroupBox };

// A rectangle in dialog units (or, after mapping, in pixels).
struct DialogRect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  bool operator==(const DialogRect&) const = default;
};

// One control of a template.
struct ControlTemplate {
  ControlKind kind = ControlKind::kLeftText;
  int id = -1;  // -1: no identifier
  DialogRect rect;
  std::vector<std::string> styles;
  std::string text;  // UTF-8

  bool HasStyle(std::string_view style) const;
};

struct DialogTemplate {
  int id = 0;
  int width = 0;   // client area, dialog units
  int height = 0;
  std::vector<std::string> styles;
  std::string caption;
  int point_size = 0;
  std::string font_face;
  std::vector<ControlTemplate> controls;  // creation order, which is the tab order
  std::map<std::string, std::string, std::less<>> prompts;

  // The control with identifier `id`, or null.
  const ControlTemplate* FindControl(int control_id) const;
  // The prompt `name` with every "%1" replaced by `argument`; empty when there is none.
  std::string Prompt(std::string_view name, std::string_view argument = {}) const;
};

// Reads a template from `text`. False, with the line and the reason in `*error`, when a line
// does not follow the format or the template has no dialog line.
[[nodiscard]] bool ParseDialogTemplate(std::string_view text, DialogTemplate* dialog, std::string* error);

// The plug-in's own template `id` in `edition`; nullopt when the resources have none.
std::optional<DialogTemplate> LoadDialogTemplate(int id, Edition edition);

// The identifier of the "Add Measurements" template.
inline constexpr int kAddMeasurementsDialogId = 11001;
