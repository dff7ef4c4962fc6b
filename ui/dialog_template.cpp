#include "ui/dialog_template.h"

#include <charconv>

extern const char kDialog11001English[];
extern const char kDialog11001SimplifiedChinese[];

namespace {

std::vector<std::string_view> SplitFields(std::string_view line) {
  std::vector<std::string_view> fields;
  std::size_t start = 0;
  for (;;) {
    const std::size_t tab = line.find('\t', start);
    fields.push_back(line.substr(start, tab == std::string_view::npos ? std::string_view::npos : tab - start));
    if (tab == std::string_view::npos) return fields;
    start = tab + 1;
  }
}

bool ParseInt(std::string_view text, int* value) {
  const char* end = text.data() + text.size();
  const auto [rest, failure] = std::from_chars(text.data(), end, *value);
  return failure == std::errc() && rest == end && !text.empty();
}

std::string Unescape(std::string_view text) {
  std::string plain;
  plain.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size()) {
      const char next = text[i + 1];
      if (next == 't' || next == 'n' || next == '\\') {
        plain += next == 't' ? '\t' : next == 'n' ? '\n' : '\\';
        ++i;
        continue;
      }
    }
    plain += text[i];
  }
  return plain;
}

std::vector<std::string> ParseStyles(std::string_view text) {
  std::vector<std::string> styles;
  if (text == "-" || text.empty()) return styles;
  std::size_t start = 0;
  for (;;) {
    const std::size_t bar = text.find('|', start);
    const std::string_view style = text.substr(start, bar == std::string_view::npos ? std::string_view::npos : bar - start);
    if (!style.empty()) styles.emplace_back(style);
    if (bar == std::string_view::npos) return styles;
    start = bar + 1;
  }
}

std::optional<ControlKind> ParseKind(std::string_view name) {
  static constexpr std::pair<std::string_view, ControlKind> kKinds[] = {
      {"LISTBOX", ControlKind::kListBox},       {"PUSHBUTTON", ControlKind::kPushButton},
      {"DEFPUSHBUTTON", ControlKind::kDefPushButton}, {"EDITTEXT", ControlKind::kEditText},
      {"LTEXT", ControlKind::kLeftText},        {"RTEXT", ControlKind::kRightText},
      {"GROUPBOX", ControlKind::kGroupBox}};
  for (const auto& [kind_name, kind] : kKinds) {
    if (kind_name == name) return kind;
  }
  return std::nullopt;
}

// Reads one entry into `dialog`; false with the reason when it does not follow the format.
bool ParseEntry(const std::vector<std::string_view>& fields, DialogTemplate* dialog, bool* has_dialog,
                std::string* reason) {
  const std::string_view key = fields[0];
  if (key == "dialog") {
    if (fields.size() != 5 || !ParseInt(fields[1], &dialog->id) || !ParseInt(fields[2], &dialog->width) ||
        !ParseInt(fields[3], &dialog->height)) {
      *reason = "a dialog line takes an identifier, a width, a height and styles";
      return false;
    }
    dialog->styles = ParseStyles(fields[4]);
    *has_dialog = true;
    return true;
  }
  if (key == "caption") {
    if (fields.size() != 2) {
      *reason = "a caption line takes one text";
      return false;
    }
    dialog->caption = Unescape(fields[1]);
    return true;
  }
  if (key == "font") {
    if (fields.size() != 3 || !ParseInt(fields[1], &dialog->point_size) || fields[2].empty()) {
      *reason = "a font line takes a point size and a face name";
      return false;
    }
    dialog->font_face = std::string(fields[2]);
    return true;
  }
  if (key == "control") {
    ControlTemplate control;
    const std::optional<ControlKind> kind = fields.size() == 9 ? ParseKind(fields[1]) : std::nullopt;
    if (!kind || !ParseInt(fields[2], &control.id) || !ParseInt(fields[3], &control.rect.x) ||
        !ParseInt(fields[4], &control.rect.y) || !ParseInt(fields[5], &control.rect.width) ||
        !ParseInt(fields[6], &control.rect.height)) {
      *reason = "a control line takes a kind, an identifier, x, y, width, height, styles and a text";
      return false;
    }
    control.kind = *kind;
    control.styles = ParseStyles(fields[7]);
    control.text = Unescape(fields[8]);
    dialog->controls.push_back(std::move(control));
    return true;
  }
  if (key == "prompt") {
    if (fields.size() != 3 || fields[1].empty()) {
      *reason = "a prompt line takes a name and a text";
      return false;
    }
    dialog->prompts[std::string(fields[1])] = Unescape(fields[2]);
    return true;
  }
  *reason = "unknown entry '" + std::string(key) + "'";
  return false;
}

}  // namespace

bool ControlTemplate::HasStyle(std::string_view style) const {
  for (const std::string& own : styles) {
    if (own == style) return true;
  }
  return false;
}

const ControlTemplate* DialogTemplate::FindControl(int control_id) const {
  for (const ControlTemplate& control : controls) {
    if (control.id == control_id && control_id != -1) return &control;
  }
  return nullptr;
}

std::string DialogTemplate::Prompt(std::string_view name, std::string_view argument) const {
  const auto found = prompts.find(name);
  if (found == prompts.end()) return {};
  std::string text;
  const std::string& format = found->second;
  for (std::size_t i = 0; i < format.size(); ++i) {
    if (format.compare(i, 2, "%1") == 0) {
      text += argument;
      ++i;
    } else {
      text += format[i];
    }
  }
  return text;
}

bool ParseDialogTemplate(std::string_view text, DialogTemplate* dialog, std::string* error) {
  DialogTemplate parsed;
  bool has_dialog = false;
  int line_number = 0;
  while (!text.empty()) {
    ++line_number;
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() || line.front() == '#') continue;
    std::string reason;
    if (!ParseEntry(SplitFields(line), &parsed, &has_dialog, &reason)) {
      *error = "line " + std::to_string(line_number) + ": " + reason;
      return false;
    }
  }
  if (!has_dialog) {
    *error = "no dialog line";
    return false;
  }
  *dialog = std::move(parsed);
  return true;
}

std::optional<DialogTemplate> LoadDialogTemplate(int id, Edition edition) {
  if (id != kAddMeasurementsDialogId) return std::nullopt;
  const char* text = edition == Edition::kSimplifiedChinese ? kDialog11001SimplifiedChinese : kDialog11001English;
  DialogTemplate dialog;
  std::string error;
  if (!ParseDialogTemplate(text, &dialog, &error)) return std::nullopt;
  return dialog;
}
