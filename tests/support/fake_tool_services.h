#pragma once
// What a tool window gets from the main window, recorded: its reports and
// the help it asked for.
#include "support/recording_reporter.h"
#include "widgets/tool_view.h"

namespace netrove::test {

class FakeToolServices : public CToolServices {
 public:
  IMainWindowReporter& reporter() override { return reporter_; }
  void showHelp(int contextId) override { helpShown = contextId; }
  RecordingReporter reporter_;
  int helpShown = 0;
};

}  // namespace netrove::test
