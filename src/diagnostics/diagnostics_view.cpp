#include "diagnostics/diagnostics_view.h"

#include <QPushButton>

#include "base/run_finished.h"
#include "widgets/host_prompt_dialog.h"
#include "widgets/transcript_view.h"

namespace netrove {

// Brings the engine's finished notice to the GUI thread. A notice still
// queued when the view goes is dropped with it.
class CDiagnosticsView::FinishedRelay : public IRunFinishedListener {
 public:
  explicit FinishedRelay(CDiagnosticsView& view) : view_(view) {}
  void PostRunFinished(int) override {
    QMetaObject::invokeMethod(
        &view_, [view = &view_] { view->onRunFinished(); }, Qt::QueuedConnection);
  }

 private:
  CDiagnosticsView& view_;
};

CDiagnosticsView::CDiagnosticsView(CToolServices& services, const QString& toolName,
                                   QWidget* parent)
    : CToolView(services, parent),
      toolName_(toolName),
      runButton_(new QPushButton(toolName + QStringLiteral("..."), this)),
      closeButton_(new QPushButton(QStringLiteral("Close"), this)),
      transcript_(new CTranscriptView(this)),
      sink_(std::make_unique<CTranscriptSink>(*transcript_)),
      finished_(std::make_unique<FinishedRelay>(*this)) {
  closeButton_->setObjectName(QStringLiteral("closeButton"));
  transcript_->setObjectName(QStringLiteral("replyBox"));
  runButton_->setDefault(true);
  connect(runButton_, &QPushButton::clicked, this, &CDiagnosticsView::promptForHost);
  connect(closeButton_, &QPushButton::clicked, this, &CDiagnosticsView::closeOrInterrupt);
}

CDiagnosticsView::~CDiagnosticsView() = default;

IRunFinishedListener& CDiagnosticsView::finishedListener() const { return *finished_; }

void CDiagnosticsView::promptForHost() {
  CHostPromptDlg prompt(runButton_->text(), helpContext(), this);
  prompt.useRecentHosts(toolName_.toStdString());
  connect(&prompt, &CHostPromptDlg::helpRequested, this,
          [this](int id) { services().showHelp(id); });
  if (prompt.exec() == QDialog::Accepted) startRun(prompt.hostText());
}

void CDiagnosticsView::startRun(const QString& host) {
  if (state_ != State::Idle) return;
  setDocumentTitle(toolName_ + QStringLiteral(" ") + host);
  runButton_->setEnabled(false);
  runButton_->setDefault(false);
  closeButton_->setText(QStringLiteral("Interrupt"));
  closeButton_->setDefault(true);
  closeButton_->setFocus();
  setOptionsEditable(false);
  setCloseEnabled(false);
  setBusy(true);
  state_ = State::Running;
  startEngine(host.toStdString());
}

void CDiagnosticsView::closeOrInterrupt() {
  if (state_ == State::Idle) {
    emit closeRequested();
    return;
  }
  state_ = State::Interrupting;
  closeButton_->setEnabled(false);
  interruptEngine();
}

void CDiagnosticsView::onRunFinished() {
  joinEngine();
  setOptionsEditable(true);
  runButton_->setEnabled(true);
  runButton_->setDefault(true);
  runButton_->setFocus();
  closeButton_->setDefault(false);
  closeButton_->setText(QStringLiteral("Close"));
  closeButton_->setEnabled(true);
  setCloseEnabled(true);
  state_ = State::Idle;
  setBusy(false);
}

}  // namespace netrove
