// A help engine for tests: it records the requests it is given instead of showing them.
#pragma once

#include <memory>
#include <vector>

#include "platform/help_engine.h"

// A help engine that records the requests it is given.
struct RecordedHelp {
  std::vector<HelpRequest> requests;
  int loads = 0;
};

inline HelpEngineLoader RecordingHelpLoader(RecordedHelp& record, bool loads = true) {
  class Recorder final : public HelpEngine {
   public:
    explicit Recorder(RecordedHelp& record) : record_(record) {}
    void Show(const HelpRequest& request) override { record_.requests.push_back(request); }

   private:
    RecordedHelp& record_;
  };
  return [&record, loads]() -> std::unique_ptr<HelpEngine> {
    ++record.loads;
    if (!loads) return nullptr;
    return std::make_unique<Recorder>(record);
  };
}
