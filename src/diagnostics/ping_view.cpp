#include "diagnostics/ping_view.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

#include "base/command_ids.h"
#include "base/network_settings.h"
#include "diagnostics/ping_options_form.h"
#include "widgets/transcript_view.h"

namespace netrove {

CPingView::CPingView(CToolServices& services, QWidget* parent, IResolver& resolver)
    : CDiagnosticsView(services, QStringLiteral("Ping"), parent),
      options_(new CPingOptionsForm(this)),
      engine_(std::make_unique<CPingEngine>(transcriptSink(), services.reporter(),
                                            finishedListener(), resolver)) {
  pingButton()->setObjectName(QStringLiteral("pingButton"));
  options_->load(ReadPingSettings());

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(pingButton());
  buttons->addWidget(closeButton());
  auto* layout = new QGridLayout(this);
  layout->addWidget(options_, 0, 0);
  layout->addLayout(buttons, 1, 0);
  layout->addWidget(new QLabel(QStringLiteral("Reply"), this), 2, 0);
  layout->addWidget(transcript(), 3, 0);
  layout->setRowStretch(3, 1);
}

CPingView::~CPingView() {
  // A worker may be waiting for this thread to take its text: release it
  // before waiting for the workers.
  transcriptSink().detach();
  engine_.reset();
}

int CPingView::helpContext() const { return CommandHelpContext(kCmdPing); }

void CPingView::setOptionsEditable(bool editable) { options_->setEditable(editable); }

void CPingView::startEngine(const std::string& host) {
  PingRequest request = PingRequestFromSettings(options_->values(), host);
  // The General page's family choice holds here as on the command line.
  request.family = ReadNetworkSettings().families;
  engine_->Start(request);
}

}  // namespace netrove
