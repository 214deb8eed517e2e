#pragma once
// The traceroute window: the run options, "traceroute..." and
// "Close"/"Interrupt", and the "Reply" transcript that keeps growing across
// runs. The window starts from the stored defaults; changes made here apply
// to its own runs only.
#include <QString>
#include <memory>

#include "diagnostics/traceroute_engine.h"
#include "shell/tool_view.h"

class QPushButton;

namespace netrove {

class CTraceRouteOptionsForm;
class CTranscriptSink;
class CTranscriptView;

class CTraceRouteView : public CToolView {
  Q_OBJECT

 public:
  enum class State { Idle, Running, Interrupting };

  explicit CTraceRouteView(CToolServices& services, QWidget* parent = nullptr);
  ~CTraceRouteView() override;

  int helpContext() const override;
  CTranscriptView* printableTranscript() const override { return transcript_; }
  QString printTitle() const override { return QStringLiteral("traceroute"); }

  State state() const { return state_; }
  CTraceRouteOptionsForm* options() const { return options_; }
  QPushButton* traceButton() const { return traceButton_; }
  QPushButton* closeButton() const { return closeButton_; }
  const CTraceRouteEngine& engine() const { return *engine_; }

  // Starts a run towards the host as if it had been typed in the prompt.
  void startRun(const QString& host);

 private:
  class FinishedRelay;

  void promptForHost();
  void closeOrInterrupt();
  void onRunFinished();

  CTraceRouteOptionsForm* options_;
  QPushButton* traceButton_;
  QPushButton* closeButton_;
  CTranscriptView* transcript_;
  std::unique_ptr<CTranscriptSink> sink_;
  std::unique_ptr<FinishedRelay> finished_;
  std::unique_ptr<CTraceRouteEngine> engine_;
  State state_ = State::Idle;
};

}  // namespace netrove
