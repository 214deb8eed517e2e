#pragma once
// The Ping window: the run options, "Ping..." and "Close"/"Interrupt", and
// the "Reply" transcript that keeps growing across runs. The window starts
// from the stored defaults; changes made here apply to its own runs only.
#include <memory>

#include "diagnostics/diagnostics_view.h"
#include "diagnostics/ping_engine.h"

namespace netrove {

class CPingOptionsForm;

class CPingView : public CDiagnosticsView {
  Q_OBJECT

 public:
  // Its runs look names up with `resolver`.
  explicit CPingView(CToolServices& services, QWidget* parent = nullptr,
                     IResolver& resolver = SystemResolver());
  ~CPingView() override;

  int helpContext() const override;

  CPingOptionsForm* options() const { return options_; }
  QPushButton* pingButton() const { return runButton(); }
  const CPingEngine& engine() const { return *engine_; }

 private:
  void setOptionsEditable(bool editable) override;
  void startEngine(const std::string& host) override;
  void interruptEngine() override { engine_->Interrupt(); }
  void joinEngine() override { engine_->Join(); }

  CPingOptionsForm* options_;
  std::unique_ptr<CPingEngine> engine_;
};

}  // namespace netrove
