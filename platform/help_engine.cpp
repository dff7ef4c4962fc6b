#include "platform/help_engine.h"

namespace {

std::unique_ptr<HelpEngineBinding>& BindingSlot() {
  static std::unique_ptr<HelpEngineBinding> binding = std::make_unique<HelpEngineBinding>(LoadPlatformHelpEngine);
  return binding;
}

}  // namespace

bool HelpEngineBinding::Call(const HelpRequest& request) {
  if (engine_ == nullptr && !failed_) {
    engine_ = loader_ ? loader_() : nullptr;
    if (engine_ == nullptr) failed_ = true;
  }
  if (engine_ == nullptr) return false;
  engine_->Show(request);
  return true;
}

HelpEngineBinding& TheHelpEngineBinding() { return *BindingSlot(); }

void TEST_ResetHelpEngineBinding(HelpEngineLoader loader) {
  BindingSlot() =
      std::make_unique<HelpEngineBinding>(loader ? std::move(loader) : HelpEngineLoader(LoadPlatformHelpEngine));
}
