#pragma once
// What the Ping and traceroute windows share: the run button and
// "Close"/"Interrupt", the host prompt, the "Reply" transcript that keeps
// growing across runs, and the idle, running and interrupting states. A
// window adds its options form, its layout and its engine.
#include <QString>
#include <memory>
#include <string>

#include "widgets/tool_view.h"

class QPushButton;

namespace netrove {

class CTranscriptSink;
class IRunFinishedListener;

class CDiagnosticsView : public CToolView {
  Q_OBJECT

 public:
  enum class State { Idle, Running, Interrupting };

  ~CDiagnosticsView() override;

  CTranscriptView* printableTranscript() const override { return transcript_; }
  QString printTitle() const override { return toolName_; }

  State state() const { return state_; }
  QPushButton* closeButton() const { return closeButton_; }

  // Starts a run towards the host as if it had been typed in the prompt.
  void startRun(const QString& host);

 protected:
  // `toolName` heads the print-out and the document title and names the
  // run button and the host prompt ("Ping" gives "Ping...").
  CDiagnosticsView(CToolServices& services, const QString& toolName, QWidget* parent);

  QPushButton* runButton() const { return runButton_; }
  CTranscriptView* transcript() const { return transcript_; }
  // What the window's engine writes to and tells when its run is over.
  CTranscriptSink& transcriptSink() const { return *sink_; }
  IRunFinishedListener& finishedListener() const;

 private:
  class FinishedRelay;

  virtual void setOptionsEditable(bool editable) = 0;
  virtual void startEngine(const std::string& host) = 0;
  virtual void interruptEngine() = 0;
  virtual void joinEngine() = 0;

  void promptForHost();
  void closeOrInterrupt();
  void onRunFinished();

  QString toolName_;
  QPushButton* runButton_;
  QPushButton* closeButton_;
  CTranscriptView* transcript_;
  std::unique_ptr<CTranscriptSink> sink_;
  std::unique_ptr<FinishedRelay> finished_;
  State state_ = State::Idle;
};

}  // namespace netrove
