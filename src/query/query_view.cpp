#include "query/query_view.h"

#include <QLineEdit>
#include <QPushButton>

#include "base/host_port.h"
#include "base/run_finished.h"
#include "query/query_engine.h"
#include "widgets/address_book_dialog.h"
#include "widgets/transcript_view.h"

namespace netrove {

// Brings the worker's finished notice to the GUI thread. A notice still
// queued when the view goes is dropped with it.
class CQueryView::FinishedRelay : public IRunFinishedListener {
 public:
  explicit FinishedRelay(CQueryView& view) : view_(view) {}
  void PostRunFinished(int) override {
    QMetaObject::invokeMethod(
        &view_, [view = &view_] { view->onQueryFinished(); }, Qt::QueuedConnection);
  }

 private:
  CQueryView& view_;
};

CQueryView::CQueryView(CToolServices& services, const QString& printTitle, std::uint16_t port,
                       QWidget* parent, IResolver& resolver)
    : CToolView(services, parent),
      printTitle_(printTitle),
      port_(port),
      closeButton_(new QPushButton(QStringLiteral("Close"), this)),
      transcript_(new CTranscriptView(this)),
      sink_(std::make_unique<CTranscriptSink>(*transcript_)),
      finished_(std::make_unique<FinishedRelay>(*this)),
      engine_(std::make_unique<CQueryEngine>(*sink_, services.reporter(), *finished_, resolver)) {
  closeButton_->setObjectName(QStringLiteral("closeButton"));
  transcript_->setObjectName(QStringLiteral("replyBox"));
  connect(closeButton_, &QPushButton::clicked, this, &CQueryView::closeOrInterrupt);
}

CQueryView::~CQueryView() {
  // The worker may be waiting for this thread to take its text: release it
  // before waiting for the worker.
  sink_->detach();
  engine_.reset();
}

void CQueryView::startQuery(const std::string& server, std::string requestLine,
                            bool followReferrals) {
  if (isBusy()) return;
  // The server field takes HOST[:PORT] as the command line does.
  std::string host;
  std::uint16_t port = port_;
  if (!SplitServerAndPort(server, host, port)) {
    services().reporter().PostToolMessage(
        kSourceWinSock, "\"" + server + "\" names no host, or a port outside 1 to 65535.");
    return;
  }
  setQueryControlsEnabled(false);
  closeButton_->setText(QStringLiteral("Interrupt"));
  setCloseEnabled(false);
  setBusy(true);
  transcript_->setFocus();
  if (!engine_->Start({host, port, std::move(requestLine), kAnswerLimit, ReadNetworkSettings(),
                       followReferrals})) {
    returnToIdle();
  }
}

void CQueryView::pickAddressInto(QLineEdit* edit) {
  const auto picked = PickAddressFromBook(this, [this](int id) { services().showHelp(id); });
  if (picked) edit->setText(*picked);
}

void CQueryView::closeOrInterrupt() {
  if (!isBusy()) {
    emit closeRequested();
    return;
  }
  closeButton_->setEnabled(false);
  engine_->Interrupt();
}

void CQueryView::onQueryFinished() {
  engine_->Join();
  returnToIdle();
}

void CQueryView::returnToIdle() {
  setQueryControlsEnabled(true);
  closeButton_->setText(QStringLiteral("Close"));
  closeButton_->setEnabled(true);
  setCloseEnabled(true);
  setBusy(false);
  restoreIdleFocus();
}

}  // namespace netrove
