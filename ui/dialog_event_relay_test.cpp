#include "ui/dialog_event_relay.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace {

// Records what reaches the logic; OnOK throws when told to.
class RecordingEvents final : public DialogEvents {
 public:
  bool OnInitDialog(DialogView&) override { return true; }
  void OnSelchangeMeasurements() override { heard.push_back("selchange"); }
  void OnKillfocusField(int control_id) override { heard.push_back("exchange " + std::to_string(control_id)); }
  void OnOK() override {
    heard.push_back("ok");
    if (ok_throws) throw std::runtime_error("refused");
  }
  void OnCancel() override { heard.push_back("cancel"); }
  void OnHelp() override { heard.push_back("help"); }
  bool OnHelpInfo() override { return true; }
  void OnDialogClosed() override {}

  std::vector<std::string> heard;
  bool ok_throws = false;
};

struct RelayFixture {
  RecordingEvents events;
  std::vector<int> ended_with;
  DialogEventRelay relay{events, [this](int result) {
                           if (relay.MarkEnded()) ended_with.push_back(result);
                         }};
};

TEST(DialogEventRelayTest, AnOwedExchangeRunsOnceBeforeHelpAndNeverAfterOk) {
  RelayFixture f;
  ASSERT_TRUE(f.relay.FieldLeft(kIdPort));
  f.relay.ButtonClicked(kIdHelp);
  f.relay.ExchangeDue();  // already run with Help
  EXPECT_EQ((std::vector<std::string>{"exchange 11003", "help"}), f.events.heard);

  f.events.heard.clear();
  ASSERT_TRUE(f.relay.FieldLeft(kIdUrl));
  f.relay.ButtonClicked(kIdOk);  // OK exchanges every field itself
  f.relay.ExchangeDue();
  EXPECT_EQ((std::vector<std::string>{"ok"}), f.events.heard);

  f.events.heard.clear();
  ASSERT_TRUE(f.relay.FieldLeft(kIdLogin));
  f.relay.ExchangeDue();
  f.relay.ExchangeDue();
  EXPECT_EQ((std::vector<std::string>{"exchange 11006"}), f.events.heard);
}

TEST(DialogEventRelayTest, APromptsFocusMovesAndAnEndedDialogOweNothing) {
  RelayFixture f;
  f.relay.SetPrompting(true);
  EXPECT_FALSE(f.relay.FieldLeft(kIdPort));
  f.relay.SetPrompting(false);
  ASSERT_TRUE(f.relay.FieldLeft(kIdPort));
  f.relay.ForgetExchange();
  f.relay.ExchangeDue();
  EXPECT_TRUE(f.events.heard.empty());

  ASSERT_TRUE(f.relay.FieldLeft(kIdPassword));
  EXPECT_TRUE(f.relay.MarkEnded());
  EXPECT_FALSE(f.relay.MarkEnded());
  EXPECT_FALSE(f.relay.FieldLeft(kIdPort));
  f.relay.ExchangeDue();
  f.relay.ButtonClicked(kIdCancel);
  EXPECT_TRUE(f.events.heard.empty()) << "nothing reaches the logic after the end";
}

TEST(DialogEventRelayTest, WhatTheLogicThrowsEndsTheDialogInsteadOfCrossingTheWindowSystem) {
  RelayFixture f;
  f.events.ok_throws = true;
  f.relay.ButtonClicked(kIdOk);
  EXPECT_EQ(std::vector<int>{kDialogEndedItself}, f.ended_with);
  EXPECT_TRUE(f.relay.ended());
  f.relay.ButtonClicked(kIdOk);
  EXPECT_EQ((std::vector<std::string>{"ok"}), f.events.heard);
}

}  // namespace
