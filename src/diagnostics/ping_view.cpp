#include "diagnostics/ping_view.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

#include "desktop/host_prompt_dialog.h"
#include "diagnostics/ping_options_form.h"
#include "shell/command_ids.h"
#include "shell/transcript_view.h"

namespace netrove {

// Brings the engine's finished notice to the GUI thread. A notice still
// queued when the view goes is dropped with it.
class CPingView::FinishedRelay : public IRunFinishedListener {
 public:
  explicit FinishedRelay(CPingView& view) : view_(view) {}
  void PostRunFinished(int) override {
    QMetaObject::invokeMethod(
        &view_, [view = &view_] { view->onRunFinished(); }, Qt::QueuedConnection);
  }

 private:
  CPingView& view_;
};

CPingView::CPingView(CToolServices& services, QWidget* parent)
    : CToolView(services, parent),
      options_(new CPingOptionsForm(this)),
      pingButton_(new QPushButton(QStringLiteral("Ping..."), this)),
      closeButton_(new QPushButton(QStringLiteral("Close"), this)),
      transcript_(new CTranscriptView(this)),
      sink_(std::make_unique<CTranscriptSink>(*transcript_)),
      finished_(std::make_unique<FinishedRelay>(*this)),
      engine_(std::make_unique<CPingEngine>(*sink_, services.reporter(), *finished_)) {
  pingButton_->setObjectName(QStringLiteral("pingButton"));
  closeButton_->setObjectName(QStringLiteral("closeButton"));
  transcript_->setObjectName(QStringLiteral("replyBox"));
  pingButton_->setDefault(true);
  options_->load(ReadPingSettings());

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(pingButton_);
  buttons->addWidget(closeButton_);
  auto* layout = new QGridLayout(this);
  layout->addWidget(options_, 0, 0);
  layout->addLayout(buttons, 1, 0);
  layout->addWidget(new QLabel(QStringLiteral("Reply"), this), 2, 0);
  layout->addWidget(transcript_, 3, 0);
  layout->setRowStretch(3, 1);

  connect(pingButton_, &QPushButton::clicked, this, &CPingView::promptForHost);
  connect(closeButton_, &QPushButton::clicked, this, &CPingView::closeOrInterrupt);
}

CPingView::~CPingView() {
  // A worker may be waiting for this thread to take its text: release it
  // before waiting for the workers.
  sink_->detach();
  engine_.reset();
}

int CPingView::helpContext() const { return CommandHelpContext(kCmdPing); }

void CPingView::promptForHost() {
  CHostPromptDlg prompt(QStringLiteral("Ping..."), helpContext(), this);
  connect(&prompt, &CHostPromptDlg::helpRequested, this,
          [this](int id) { services().showHelp(id); });
  if (prompt.exec() == QDialog::Accepted) startRun(prompt.hostText());
}

void CPingView::startRun(const QString& host) {
  if (state_ != State::Idle) return;
  setDocumentTitle(QStringLiteral("Ping ") + host);
  pingButton_->setEnabled(false);
  pingButton_->setDefault(false);
  closeButton_->setText(QStringLiteral("Interrupt"));
  closeButton_->setDefault(true);
  closeButton_->setFocus();
  options_->setEditable(false);
  setCloseEnabled(false);
  setBusy(true);
  state_ = State::Running;
  engine_->Start(PingRequestFromSettings(options_->values(), host.toStdString()));
}

void CPingView::closeOrInterrupt() {
  if (state_ == State::Idle) {
    emit closeRequested();
    return;
  }
  state_ = State::Interrupting;
  closeButton_->setEnabled(false);
  engine_->Interrupt();
}

void CPingView::onRunFinished() {
  engine_->Join();
  options_->setEditable(true);
  pingButton_->setEnabled(true);
  pingButton_->setDefault(true);
  pingButton_->setFocus();
  closeButton_->setDefault(false);
  closeButton_->setText(QStringLiteral("Close"));
  closeButton_->setEnabled(true);
  setCloseEnabled(true);
  state_ = State::Idle;
  setBusy(false);
}

}  // namespace netrove
