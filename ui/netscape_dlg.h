// CNetscapeDlg: the "Add Measurements" dialog's data and rules, independent of the window
// toolkit. It lists the counter definitions by label, shows the description of the one item the
// user selected, exchanges the server properties with the edits (the port as an integer, the
// URL at most 1024 characters) and, on OK, copies the selected definitions into the selection
// array in list order, each with the same user-data string. The scheme has no control: the
// user data carries the scheme of the properties the dialog was given.
//
// One dialog object serves one modal run on the thread that shows it. The counter table and the
// selection array belong to the caller and must outlive RunAddMeasurements.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "abi/records.h"
#include "config/server_params.h"
#include "ui/dialog_view.h"

class CNetscapeDlg : public DialogEvents {
 public:
  // The most characters of the URL.
  static constexpr int kMaxUrlCharacters = 1024;

  // A dialog shown with `toolkit`, which must outlive it.
  explicit CNetscapeDlg(DialogToolkit& toolkit) : toolkit_(toolkit) {}
  CNetscapeDlg(const CNetscapeDlg&) = delete;
  CNetscapeDlg& operator=(const CNetscapeDlg&) = delete;

  // Takes port, URL, login, password and scheme from `params`, shows the dialog over `counters` in the
  // edition of the process locale, and returns the modal result: kDialogOk, kDialogCancel, or
  // kDialogEndedItself (no counters, or no window could be built). After OK the first
  // selected_count() records of `selection` hold the selected definitions; `selection` has room
  // for every counter.
  int RunAddMeasurements(std::span<const CounterDefinition> counters, std::span<CounterDefinition> selection,
                         const ServerParams& params);

  // The members, as the last exchange left them.
  std::int32_t port() const { return port_; }
  const std::string& url() const { return url_; }
  const std::string& login() const { return login_; }
  const std::string& password() const { return password_; }
  HttpScheme scheme() const { return scheme_; }
  int selected_count() const { return selected_count_; }

  // DialogEvents.
  bool OnInitDialog(DialogView& view) override;
  void OnSelchangeMeasurements() override;
  void OnKillfocusField(int control_id) override;
  void OnOK() override;
  void OnCancel() override;
  void OnHelp() override;
  bool OnHelpInfo() override;
  void OnDialogClosed() override { view_ = nullptr; }

 private:
  // The direction and the state of one exchange between members and controls.
  struct DataExchange {
    DialogView& view;
    bool save;          // controls into members, with validation
    bool failed = false;
  };

  // Moves every member into its control (save false), or every control into its member with
  // validation (save true). False when an entry was refused; the user has been told then.
  bool UpdateData(bool save);
  void DoDataExchange(DataExchange& exchange);
  void ExchangeInteger(DataExchange& exchange, int control_id, std::int32_t* value);
  void ExchangeText(DataExchange& exchange, int control_id, std::string* value);
  void ValidateMaxCharacters(DataExchange& exchange, int control_id, const std::string& value, int max_characters);
  void Refuse(DataExchange& exchange, int control_id, const std::string& prompt);

  DialogToolkit& toolkit_;
  DialogView* view_ = nullptr;  // set while the dialog runs
  const DialogTemplate* template_ = nullptr;  // set while the dialog runs
  bool exchanging_ = false;     // an exchange (and its prompt) is under way

  // The dialog's members.
  std::int32_t port_ = 0;
  std::string url_;
  std::string description_;
  std::string login_;
  std::string password_;
  HttpScheme scheme_ = HttpScheme::kHttp;
  std::span<const CounterDefinition> counters_;
  std::span<CounterDefinition> selection_;
  int selected_count_ = 0;
};

// An integer entry as the dialog takes it: optional blanks, an optional sign, at least one digit,
// optional blanks, and a value within 32 bits. nullopt otherwise.
std::optional<std::int32_t> ParseIntegerEntry(std::string_view text);

// The number of characters (code points) of the UTF-8 text.
std::size_t CountCharacters(std::string_view text);
