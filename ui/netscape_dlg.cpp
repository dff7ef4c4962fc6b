#include "ui/netscape_dlg.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <optional>

#include "documents/user_data.h"
#include "platform/plinth.h"
#include "platform/process.h"
#include "ui/help.h"

namespace {

std::string_view FieldText(const char* field, std::size_t size) { return {field, strnlen(field, size)}; }

// Opens the dialog's help topic. The first request that finds no help viewer says so, over the
// Help button; the ones after it stay silent.
void OpenHelp(DialogView* view, const DialogTemplate* dialog) {
  if (OpenHelpTopic(kAddMeasurementsHelpContext) != HelpOutcome::kNoHelpEngine) return;
  if (view == nullptr || dialog == nullptr) return;
  const std::string text = dialog->Prompt("no_help_viewer");
  if (!text.empty()) view->ShowPrompt(kIdHelp, text);
}

}  // namespace

std::optional<std::int32_t> ParseIntegerEntry(std::string_view text) {
  auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  if (!text.empty() && text.front() == '+') {
    text.remove_prefix(1);
    if (text.empty() || text.front() < '0' || text.front() > '9') return std::nullopt;
  }
  std::int32_t value = 0;
  const char* end = text.data() + text.size();
  const auto [rest, failure] = std::from_chars(text.data(), end, value);
  if (failure != std::errc() || rest != end) return std::nullopt;
  return value;
}

std::size_t CountCharacters(std::string_view text) {
  std::size_t count = 0;
  for (const char c : text) {
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++count;
  }
  return count;
}

int CNetscapeDlg::RunAddMeasurements(std::span<const CounterDefinition> counters,
                                     std::span<CounterDefinition> selection, const ServerParams& params) {
  port_ = params.port;
  url_ = params.url;
  login_ = params.login;
  password_ = params.password;
  scheme_ = params.scheme;
  counters_ = counters;
  selection_ = selection;

  // The dialog comes from the plug-in's own resources, in the edition the process asks for.
  const std::optional<DialogTemplate> dialog = LoadDialogTemplate(kAddMeasurementsDialogId, CurrentEdition());
  if (!dialog) return kDialogEndedItself;
  template_ = &*dialog;
  const int result = toolkit_.DoModal(*dialog, *this);
  template_ = nullptr;
  view_ = nullptr;
  return result;
}

bool CNetscapeDlg::OnInitDialog(DialogView& view) {
  view_ = &view;
  UpdateData(false);
  if (counters_.empty()) {
    view.EndDialog(kDialogEndedItself);
    return true;
  }
  for (const CounterDefinition& counter : counters_) {
    view.AddListItem(kIdMeasurementList, FieldText(counter.label, sizeof counter.label), &counter);
  }
  return true;
}

void CNetscapeDlg::OnSelchangeMeasurements() {
  if (view_ == nullptr) return;
  description_.clear();
  if (view_->GetListSelectedCount(kIdMeasurementList) == 1) {
    const std::vector<int> selected = view_->GetListSelectedItems(kIdMeasurementList, 1);
    const auto* counter = selected.empty() ? nullptr
                                           : static_cast<const CounterDefinition*>(
                                                 view_->GetListItemData(kIdMeasurementList, selected.front()));
    if (counter != nullptr) description_ = FieldText(counter->description, sizeof counter->description);
  }
  // Every edit saved its entry when it lost the focus, so this refresh keeps what was typed.
  UpdateData(false);
}

void CNetscapeDlg::OnKillfocusField(int) {
  // A refused entry's prompt takes the focus too; that loss starts no second exchange.
  if (exchanging_) return;
  UpdateData(true);
}

void CNetscapeDlg::OnOK() {
  if (view_ == nullptr || !UpdateData(true)) return;
  // Every selected item is taken, however many: the array has room for all counters.
  const int room = static_cast<int>(std::min(counters_.size(), selection_.size()));
  const std::vector<int> selected = view_->GetListSelectedItems(kIdMeasurementList, room);
  const std::string user_data = FormatUserData(port_, url_, login_, password_, scheme_);
  selected_count_ = 0;
  for (const int index : selected) {
    const auto* counter = static_cast<const CounterDefinition*>(view_->GetListItemData(kIdMeasurementList, index));
    if (counter == nullptr || selected_count_ >= room) continue;
    CounterDefinition& record = selection_[static_cast<std::size_t>(selected_count_++)];
    std::memcpy(&record, counter, sizeof record);
    CopyToField(record.user_data, user_data);
  }
  view_->EndDialog(kDialogOk);
}

void CNetscapeDlg::OnCancel() {
  selected_count_ = 0;
  if (view_ != nullptr) view_->EndDialog(kDialogCancel);
}

void CNetscapeDlg::OnHelp() { OpenHelp(view_, template_); }

bool CNetscapeDlg::OnHelpInfo() {
  OpenHelp(view_, template_);
  return true;
}

bool CNetscapeDlg::UpdateData(bool save) {
  if (view_ == nullptr || exchanging_) return false;
  exchanging_ = true;
  DataExchange exchange{*view_, save};
  DoDataExchange(exchange);
  exchanging_ = false;
  return !exchange.failed;
}

void CNetscapeDlg::DoDataExchange(DataExchange& exchange) {
  // The list control holds no member data; its items are filled once by OnInitDialog.
  ExchangeInteger(exchange, kIdPort, &port_);
  ExchangeText(exchange, kIdUrl, &url_);
  ValidateMaxCharacters(exchange, kIdUrl, url_, kMaxUrlCharacters);
  ExchangeText(exchange, kIdDescription, &description_);
  ExchangeText(exchange, kIdLogin, &login_);
  ExchangeText(exchange, kIdPassword, &password_);
}

void CNetscapeDlg::ExchangeInteger(DataExchange& exchange, int control_id, std::int32_t* value) {
  if (exchange.failed) return;
  if (!exchange.save) {
    exchange.view.SetControlText(control_id, std::to_string(*value));
    return;
  }
  const std::optional<std::int32_t> entered = ParseIntegerEntry(exchange.view.GetControlText(control_id));
  if (!entered) {
    Refuse(exchange, control_id, template_ != nullptr ? template_->Prompt("integer") : std::string());
    return;
  }
  *value = *entered;
}

void CNetscapeDlg::ExchangeText(DataExchange& exchange, int control_id, std::string* value) {
  if (exchange.failed) return;
  if (exchange.save) *value = exchange.view.GetControlText(control_id);
  else exchange.view.SetControlText(control_id, *value);
}

void CNetscapeDlg::ValidateMaxCharacters(DataExchange& exchange, int control_id, const std::string& value,
                                         int max_characters) {
  if (exchange.failed) return;
  if (!exchange.save) {
    exchange.view.LimitText(control_id, max_characters);
    return;
  }
  if (CountCharacters(value) > static_cast<std::size_t>(max_characters)) {
    Refuse(exchange, control_id,
           template_ != nullptr ? template_->Prompt("max_characters", std::to_string(max_characters)) : std::string());
  }
}

void CNetscapeDlg::Refuse(DataExchange& exchange, int control_id, const std::string& prompt) {
  exchange.failed = true;
  exchange.view.ShowPrompt(control_id, prompt);
}
