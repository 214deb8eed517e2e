#pragma once
// The Ping window: the run options, "Ping..." and "Close"/"Interrupt", and
// the "Reply" transcript that keeps growing across runs. The window starts
// from the stored defaults; changes made here apply to its own runs only.
#include <QString>
#include <memory>

#include "diagnostics/ping_engine.h"
#include "shell/tool_view.h"

class QPushButton;

namespace netrove {

class CPingOptionsForm;
class CTranscriptSink;
class CTranscriptView;

class CPingView : public CToolView {
  Q_OBJECT

 public:
  enum class State { Idle, Running, Interrupting };

  explicit CPingView(CToolServices& services, QWidget* parent = nullptr);
  ~CPingView() override;

  int helpContext() const override;
  CTranscriptView* printableTranscript() const override { return transcript_; }
  QString printTitle() const override { return QStringLiteral("Ping"); }

  State state() const { return state_; }
  CPingOptionsForm* options() const { return options_; }
  QPushButton* pingButton() const { return pingButton_; }
  QPushButton* closeButton() const { return closeButton_; }
  const CPingEngine& engine() const { return *engine_; }

  // Starts a run towards the host as if it had been typed in the prompt.
  void startRun(const QString& host);

 private:
  class FinishedRelay;

  void promptForHost();
  void closeOrInterrupt();
  void onRunFinished();

  CPingOptionsForm* options_;
  QPushButton* pingButton_;
  QPushButton* closeButton_;
  CTranscriptView* transcript_;
  std::unique_ptr<CTranscriptSink> sink_;
  std::unique_ptr<FinishedRelay> finished_;
  std::unique_ptr<CPingEngine> engine_;
  State state_ = State::Idle;
};

}  // namespace netrove
