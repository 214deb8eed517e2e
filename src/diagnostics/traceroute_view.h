#pragma once
// The traceroute window: the run options, "traceroute..." and
// "Close"/"Interrupt", and the "Reply" transcript that keeps growing across
// runs. The window starts from the stored defaults; changes made here apply
// to its own runs only.
#include <memory>

#include "diagnostics/diagnostics_view.h"
#include "diagnostics/traceroute_engine.h"

namespace netrove {

class CTraceRouteOptionsForm;

class CTraceRouteView : public CDiagnosticsView {
  Q_OBJECT

 public:
  // Its runs look names up with `resolver`.
  explicit CTraceRouteView(CToolServices& services, QWidget* parent = nullptr,
                           IResolver& resolver = SystemResolver());
  ~CTraceRouteView() override;

  int helpContext() const override;

  CTraceRouteOptionsForm* options() const { return options_; }
  QPushButton* traceButton() const { return runButton(); }
  const CTraceRouteEngine& engine() const { return *engine_; }

 private:
  void setOptionsEditable(bool editable) override;
  void startEngine(const std::string& host) override;
  void interruptEngine() override { engine_->Interrupt(); }
  void joinEngine() override { engine_->Join(); }

  CTraceRouteOptionsForm* options_;
  std::unique_ptr<CTraceRouteEngine> engine_;
};

}  // namespace netrove
