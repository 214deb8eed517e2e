#include "diagnostics/traceroute_view.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "desktop/host_prompt_dialog.h"
#include "diagnostics/traceroute_options_form.h"
#include "shell/command_ids.h"
#include "shell/transcript_view.h"

namespace netrove {

// Brings the engine's finished notice to the GUI thread. A notice still
// queued when the view goes is dropped with it.
class CTraceRouteView::FinishedRelay : public IRunFinishedListener {
 public:
  explicit FinishedRelay(CTraceRouteView& view) : view_(view) {}
  void PostRunFinished(int) override {
    QMetaObject::invokeMethod(
        &view_, [view = &view_] { view->onRunFinished(); }, Qt::QueuedConnection);
  }

 private:
  CTraceRouteView& view_;
};

CTraceRouteView::CTraceRouteView(CToolServices& services, QWidget* parent)
    : CToolView(services, parent),
      options_(new CTraceRouteOptionsForm(this)),
      traceButton_(new QPushButton(QStringLiteral("traceroute..."), this)),
      closeButton_(new QPushButton(QStringLiteral("Close"), this)),
      transcript_(new CTranscriptView(this)),
      sink_(std::make_unique<CTranscriptSink>(*transcript_)),
      finished_(std::make_unique<FinishedRelay>(*this)),
      engine_(std::make_unique<CTraceRouteEngine>(*sink_, services.reporter(), *finished_)) {
  traceButton_->setObjectName(QStringLiteral("traceButton"));
  closeButton_->setObjectName(QStringLiteral("closeButton"));
  transcript_->setObjectName(QStringLiteral("replyBox"));
  traceButton_->setDefault(true);
  options_->load(ReadTraceRouteSettings());

  auto* buttons = new QVBoxLayout;
  buttons->addWidget(traceButton_);
  buttons->addWidget(closeButton_);
  buttons->addStretch();
  auto* layout = new QGridLayout(this);
  layout->addWidget(options_, 0, 0);
  layout->addLayout(buttons, 0, 1);
  layout->addWidget(new QLabel(QStringLiteral("Reply"), this), 1, 0, 1, 2);
  layout->addWidget(transcript_, 2, 0, 1, 2);
  layout->setRowStretch(2, 1);

  connect(traceButton_, &QPushButton::clicked, this, &CTraceRouteView::promptForHost);
  connect(closeButton_, &QPushButton::clicked, this, &CTraceRouteView::closeOrInterrupt);
}

CTraceRouteView::~CTraceRouteView() {
  // The worker may be waiting for this thread to take its text: release it
  // before waiting for the worker.
  sink_->detach();
  engine_.reset();
}

int CTraceRouteView::helpContext() const { return CommandHelpContext(kCmdTraceRoute); }

void CTraceRouteView::promptForHost() {
  CHostPromptDlg prompt(QStringLiteral("traceroute..."), helpContext(), this);
  connect(&prompt, &CHostPromptDlg::helpRequested, this,
          [this](int id) { services().showHelp(id); });
  if (prompt.exec() == QDialog::Accepted) startRun(prompt.hostText());
}

void CTraceRouteView::startRun(const QString& host) {
  if (state_ != State::Idle) return;
  setDocumentTitle(QStringLiteral("traceroute ") + host);
  traceButton_->setEnabled(false);
  traceButton_->setDefault(false);
  closeButton_->setText(QStringLiteral("Interrupt"));
  closeButton_->setDefault(true);
  closeButton_->setFocus();
  options_->setEditable(false);
  setCloseEnabled(false);
  setBusy(true);
  state_ = State::Running;
  engine_->Start(TraceRouteRequestFromSettings(options_->values(), host.toStdString()));
}

void CTraceRouteView::closeOrInterrupt() {
  if (state_ == State::Idle) {
    emit closeRequested();
    return;
  }
  state_ = State::Interrupting;
  closeButton_->setEnabled(false);
  engine_->Interrupt();
}

void CTraceRouteView::onRunFinished() {
  engine_->Join();
  options_->setEditable(true);
  traceButton_->setEnabled(true);
  traceButton_->setDefault(true);
  traceButton_->setFocus();
  closeButton_->setDefault(false);
  closeButton_->setText(QStringLiteral("Close"));
  closeButton_->setEnabled(true);
  setCloseEnabled(true);
  state_ = State::Idle;
  setBusy(false);
}

}  // namespace netrove
