// A dialog toolkit for tests: no window, a view that holds the controls' state, and a scripted
// user who acts on it the way a person at the real dialog would (selecting items, typing into an
// edit and moving on, pressing OK or Cancel, asking for help).
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/help_engine.h"
#include "platform/testing/fake_help_engine.h"
#include "ui/dialog_view.h"

class FakeDialogView final : public DialogView {
 public:
  struct Item {
    std::string label;
    const void* data = nullptr;
    bool selected = false;
  };

  FakeDialogView(const DialogTemplate& dialog, DialogEvents& events) : dialog_(dialog), events_(events) {}

  // What the user sees.
  std::string Text(int control_id) const {
    const auto found = texts_.find(control_id);
    return found == texts_.end() ? std::string() : found->second;
  }
  std::vector<std::string> Labels() const {
    std::vector<std::string> labels;
    for (const Item& item : items_) labels.push_back(item.label);
    return labels;
  }
  const std::vector<Item>& items() const { return items_; }
  std::optional<int> Limit(int control_id) const {
    const auto found = limits_.find(control_id);
    if (found == limits_.end()) return std::nullopt;
    return found->second;
  }
  const std::vector<std::pair<int, std::string>>& prompts() const { return prompts_; }
  const DialogTemplate& dialog() const { return dialog_; }
  bool ended() const { return ended_; }
  int result() const { return result_; }

  // What the user does. Selecting replaces the selection by the items with these labels.
  void Select(const std::vector<std::string>& labels) {
    for (Item& item : items_) item.selected = std::find(labels.begin(), labels.end(), item.label) != labels.end();
    events_.OnSelchangeMeasurements();
  }
  void SelectAll() {
    for (Item& item : items_) item.selected = true;
    events_.OnSelchangeMeasurements();
  }
  // Types `text` over the edit's text (held back at its limit), then moves to another control.
  void Type(int control_id, const std::string& text) {
    const std::optional<int> limit = Limit(control_id);
    texts_[control_id] = limit && text.size() > static_cast<std::size_t>(*limit) ? text.substr(0, *limit) : text;
    events_.OnKillfocusField(control_id);
  }
  // Puts `text` into the edit as if pasted past any limit, without moving on.
  void Paste(int control_id, const std::string& text) { texts_[control_id] = text; }
  void PressOk() { events_.OnOK(); }
  void PressCancel() { events_.OnCancel(); }
  void PressHelp() { events_.OnHelp(); }
  bool PressF1() { return events_.OnHelpInfo(); }

  // DialogView.
  std::string GetControlText(int control_id) const override { return Text(control_id); }
  void SetControlText(int control_id, std::string_view text) override { texts_[control_id] = std::string(text); }
  void LimitText(int control_id, int max_characters) override { limits_[control_id] = max_characters; }
  int AddListItem(int control_id, std::string_view label, const void* data) override {
    const ControlTemplate* control = dialog_.FindControl(control_id);
    const std::vector<std::string> labels = Labels();
    const std::size_t position =
        control != nullptr && control->HasStyle("SORT") ? ListSortPosition(labels, label) : labels.size();
    items_.insert(items_.begin() + static_cast<std::ptrdiff_t>(position), Item{std::string(label), data, false});
    return static_cast<int>(position);
  }
  const void* GetListItemData(int, int index) const override {
    return index >= 0 && static_cast<std::size_t>(index) < items_.size() ? items_[static_cast<std::size_t>(index)].data
                                                                          : nullptr;
  }
  int GetListSelectedCount(int) const override {
    return static_cast<int>(std::count_if(items_.begin(), items_.end(), [](const Item& item) { return item.selected; }));
  }
  std::vector<int> GetListSelectedItems(int, int max_items) const override {
    std::vector<int> indices;
    for (std::size_t i = 0; i < items_.size() && static_cast<int>(indices.size()) < max_items; ++i) {
      if (items_[i].selected) indices.push_back(static_cast<int>(i));
    }
    return indices;
  }
  void ShowPrompt(int control_id, std::string_view text) override { prompts_.emplace_back(control_id, std::string(text)); }
  void EndDialog(int result) override {
    if (ended_) return;
    ended_ = true;
    result_ = result;
  }

 private:
  const DialogTemplate& dialog_;
  DialogEvents& events_;
  std::map<int, std::string> texts_;
  std::map<int, int> limits_;
  std::vector<Item> items_;
  std::vector<std::pair<int, std::string>> prompts_;
  bool ended_ = false;
  int result_ = kDialogEndedItself;
};

class FakeDialogToolkit final : public DialogToolkit {
 public:
  // The user at the next dialog; it must end the dialog (a test fails otherwise).
  std::function<void(FakeDialogView&)> user;
  // Whether a dialog can be shown, and why not.
  bool can_show = true;
  std::string reason = "no display can be opened (xcb: DISPLAY is not set)";

  int shown = 0;                     // dialogs the user saw
  std::vector<std::string> labels;   // the list of the last dialog
  std::map<int, std::string> texts;  // the last dialog's edits as first shown
  std::string caption;               // the last dialog's caption
  bool focus_first = false;          // whether the last dialog asked for the focus on its first tab stop

  bool CanShowDialog(std::string* why) override {
    if (!can_show) *why = reason;
    return can_show;
  }

  int DoModal(const DialogTemplate& dialog, DialogEvents& events) override {
    FakeDialogView view(dialog, events);
    focus_first = events.OnInitDialog(view);
    caption = dialog.caption;
    if (!view.ended()) {
      ++shown;
      labels = view.Labels();
      texts.clear();
      for (const int id : {kIdPort, kIdUrl, kIdLogin, kIdPassword, kIdDescription}) texts[id] = view.Text(id);
      if (user) user(view);
      if (!view.ended()) {
        ADD_FAILURE() << "the user left the dialog open";
        view.EndDialog(kDialogCancel);
      }
    }
    events.OnDialogClosed();
    return view.result();
  }
};
