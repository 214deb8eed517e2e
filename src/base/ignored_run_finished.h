#pragma once
// For workers whose end reaches their owner another way (a reply, a pane
// notice): the finished notice of their run lifecycle goes nowhere.
#include "base/run_finished.h"

namespace netrove {

class CIgnoredRunFinished : public IRunFinishedListener {
 public:
  void PostRunFinished(int) override {}
};

inline IRunFinishedListener& IgnoredRunFinished() {
  static CIgnoredRunFinished nowhere;
  return nowhere;
}

}  // namespace netrove
