// What every dialog view does alike between its window and the dialog's logic: an event reaches
// the logic only while the dialog runs, anything the logic throws ends the dialog instead of
// crossing the window system, and the exchange of a field that the focus left is owed until the
// event that moved the focus (a click, a key) is fully handled, so that a prompt never opens in
// the middle of it. The view keeps the window; the relay keeps these rules. One thread.
#pragma once

#include <functional>
#include <utility>

#include "ui/dialog_view.h"

class DialogEventRelay {
 public:
  // `end_dialog` ends the dialog with a result, as the view's EndDialog does.
  DialogEventRelay(DialogEvents& events, std::function<void(int)> end_dialog)
      : events_(events), end_dialog_(std::move(end_dialog)) {}

  DialogEvents& events() { return events_; }

  // Runs `call` into the logic unless the dialog has ended; anything it throws ends the dialog.
  template <typename Call>
  void Deliver(Call call) {
    if (ended_) return;
    try {
      call();
    } catch (...) {
      end_dialog_(kDialogEndedItself);
    }
  }

  // OK, Cancel or Help was pressed. OK exchanges every field itself, so an exchange still owed
  // is dropped; Help runs it first.
  void ButtonClicked(int control_id) {
    switch (control_id) {
      case kIdOk:
        exchange_owed_ = false;
        Deliver([this] { events_.OnOK(); });
        break;
      case kIdCancel:
        exchange_owed_ = false;
        Deliver([this] { events_.OnCancel(); });
        break;
      case kIdHelp:
        Deliver([this] {
          RunOwedExchange();
          events_.OnHelp();
        });
        break;
      default:
        break;
    }
  }

  // The focus left field `control_id` for another control of the dialog. True when an exchange
  // is now owed: the view then calls ExchangeDue once the event under way is handled. False
  // while a prompt moves the focus or after the dialog ended.
  bool FieldLeft(int control_id) {
    if (prompting_ || ended_) return false;
    exchange_owed_ = true;
    owed_field_ = control_id;
    return true;
  }
  bool exchange_owed() const { return exchange_owed_; }
  // The owed exchange is not run (the focus went to another window after all).
  void ForgetExchange() { exchange_owed_ = false; }
  // Runs the owed exchange, if it is still owed.
  void ExchangeDue() {
    Deliver([this] { RunOwedExchange(); });
  }

  // A prompt is open: the focus moves it makes are its own, not the user's.
  void SetPrompting(bool prompting) { prompting_ = prompting; }
  bool prompting() const { return prompting_; }

  // Records that the dialog ended; true the first time only.
  bool MarkEnded() {
    if (ended_) return false;
    ended_ = true;
    exchange_owed_ = false;
    return true;
  }
  bool ended() const { return ended_; }

 private:
  void RunOwedExchange() {
    if (!exchange_owed_) return;
    exchange_owed_ = false;
    events_.OnKillfocusField(owed_field_);
  }

  DialogEvents& events_;
  std::function<void(int)> end_dialog_;
  bool ended_ = false;
  bool prompting_ = false;
  bool exchange_owed_ = false;
  int owed_field_ = 0;
};
