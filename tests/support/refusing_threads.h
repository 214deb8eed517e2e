#pragma once
// A thread launcher for tests: refuses every thread, as a system out of
// threads or memory does, and counts the attempts.
#include <atomic>

#include "base/run_lifecycle.h"

namespace netrove {

class CRefusingThreads : public IThreadLauncher {
 public:
  std::jthread Launch(Work) override {
    ++attempts_;
    return {};
  }
  int Attempts() const { return attempts_.load(); }

 private:
  std::atomic<int> attempts_{0};
};

}  // namespace netrove
