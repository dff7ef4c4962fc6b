// A person at the plug-in's Qt dialog, for the tests that show it: steps run one after another
// from the event loop that runs the modal dialog. A step returns true when it is done and false
// while what it waits for is not there yet; it is then tried again every 20 ms, up to a minute.
// An action may open a nested loop (a prompt); the steps after it go on from inside that loop.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QCoreApplication>
#include <QDialog>
#include <QListWidget>
#include <QMessageBox>
#include <QTimer>

#include <deque>
#include <functional>
#include <utility>

class DialogUser {
 public:
  using Condition = std::function<bool()>;
  using Action = std::function<void()>;

  DialogUser& Then(Condition condition) {
    steps_.push_back({std::move(condition), nullptr});
    return *this;
  }
  DialogUser& Do(Action action) {
    steps_.push_back({nullptr, std::move(action)});
    return *this;
  }

  // Starts acting in the application's event loop, once it runs.
  void Start() {
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [this] {
          // The timer belongs to the application and goes with it.
          timer_ = new QTimer(QCoreApplication::instance());
          QObject::connect(timer_, &QTimer::timeout, [this] { Poll(); });
          timer_->start(20);
        },
        Qt::QueuedConnection);
  }
  bool finished() const { return steps_.empty() && running_ == 0 && started_ == posted_; }

 private:
  static constexpr int kMaxTries = 3000;  // 60 s at 20 ms

  struct Step {
    Condition condition;
    Action action;
  };

  void Poll() {
    if (started_ < posted_) return;  // the last action has not begun yet
    if (steps_.empty()) {
      if (timer_ != nullptr && running_ == 0) {
        timer_->stop();
        timer_->deleteLater();
        timer_ = nullptr;
      }
      return;
    }
    Step& step = steps_.front();
    if (step.action) {
      // Actions run on their own, outside the timer: one that opens a nested loop (a prompt)
      // lets the timer go on with the steps after it.
      Action action = std::move(step.action);
      steps_.pop_front();
      ++posted_;
      QMetaObject::invokeMethod(
          QCoreApplication::instance(),
          [this, action] {
            ++started_;
            ++running_;
            action();
            --running_;
          },
          Qt::QueuedConnection);
      return;
    }
    if (step.condition()) {
      steps_.pop_front();
      ++done_;
      tries_ = 0;
      return;
    }
    if (++tries_ > kMaxTries) {
      ADD_FAILURE() << "the dialog never reached condition " << done_ + 1;
      steps_.clear();
      CloseEverything();
    }
  }

  static void CloseEverything() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      if (auto* box = qobject_cast<QMessageBox*>(widget); box != nullptr && box->isVisible()) box->accept();
    }
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      if (auto* dialog = qobject_cast<QDialog*>(widget); dialog != nullptr && dialog->isVisible()) dialog->reject();
    }
  }

  std::deque<Step> steps_;
  QTimer* timer_ = nullptr;
  int posted_ = 0;   // actions handed to the event loop
  int started_ = 0;  // actions that began
  int running_ = 0;  // actions under way (more than one while one waits in a nested loop)
  int tries_ = 0;
  int done_ = 0;
};

// The user waiting for the next application the plug-in creates.
inline DialogUser* waiting_dialog_user = nullptr;

inline void StartTheWaitingDialogUser() {
  if (waiting_dialog_user == nullptr) return;
  DialogUser* user = waiting_dialog_user;
  waiting_dialog_user = nullptr;
  user->Start();
}

// Has `user` act in the application that runs now, or else in the next one this process creates.
// Call ForgetTheDialogUser once the dialog is closed.
inline void ActInTheDialog(DialogUser& user) {
  static const bool hooked = [] {
    // Qt calls the routine whenever an application is constructed in this process.
    qAddPreRoutine(StartTheWaitingDialogUser);
    return true;
  }();
  (void)hooked;
  if (QCoreApplication::instance() != nullptr) user.Start();
  else waiting_dialog_user = &user;
}
inline void ForgetTheDialogUser() { waiting_dialog_user = nullptr; }

// The dialog while it is shown (null otherwise).
inline QDialog* TheDialog() {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (widget->objectName() == "AddMeasurements" && widget->isVisible()) return qobject_cast<QDialog*>(widget);
  }
  return nullptr;
}
// The dialog's control `id` while the dialog is shown (null otherwise).
template <typename Widget>
Widget* Control(int id) {
  QDialog* dialog = TheDialog();
  return dialog == nullptr ? nullptr : dialog->findChild<Widget*>(QString("control-%1").arg(id));
}
inline QListWidget* List() { return Control<QListWidget>(11002); }
// The message box over the dialog while one is shown (null otherwise).
inline QMessageBox* ThePrompt() {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (auto* box = qobject_cast<QMessageBox*>(widget); box != nullptr && box->isVisible()) return box;
  }
  return nullptr;
}
// Whether the dialog is shown, filled and ready for the user (no prompt over it).
inline bool DialogReady() { return TheDialog() != nullptr && List() != nullptr && List()->count() > 0 && ThePrompt() == nullptr; }
