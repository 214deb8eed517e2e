#include "diagnostics/traceroute_view.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "base/command_ids.h"
#include "base/network_settings.h"
#include "diagnostics/traceroute_options_form.h"
#include "widgets/transcript_view.h"

namespace netrove {

CTraceRouteView::CTraceRouteView(CToolServices& services, QWidget* parent, IResolver& resolver)
    : CDiagnosticsView(services, QStringLiteral("traceroute"), parent),
      options_(new CTraceRouteOptionsForm(this)),
      engine_(std::make_unique<CTraceRouteEngine>(transcriptSink(), services.reporter(),
                                                  finishedListener(), resolver)) {
  traceButton()->setObjectName(QStringLiteral("traceButton"));
  options_->load(ReadTraceRouteSettings());

  auto* buttons = new QVBoxLayout;
  buttons->addWidget(traceButton());
  buttons->addWidget(closeButton());
  buttons->addStretch();
  auto* layout = new QGridLayout(this);
  layout->addWidget(options_, 0, 0);
  layout->addLayout(buttons, 0, 1);
  layout->addWidget(new QLabel(QStringLiteral("Reply"), this), 1, 0, 1, 2);
  layout->addWidget(transcript(), 2, 0, 1, 2);
  layout->setRowStretch(2, 1);
}

CTraceRouteView::~CTraceRouteView() {
  // The worker may be waiting for this thread to take its text: release it
  // before waiting for the worker.
  transcriptSink().detach();
  engine_.reset();
}

int CTraceRouteView::helpContext() const { return CommandHelpContext(kCmdTraceRoute); }

void CTraceRouteView::setOptionsEditable(bool editable) { options_->setEditable(editable); }

void CTraceRouteView::startEngine(const std::string& host) {
  TraceRouteRequest request = TraceRouteRequestFromSettings(options_->values(), host);
  // The General page's family choice holds here as on the command line.
  request.family = ReadNetworkSettings().families;
  engine_->Start(request);
}

}  // namespace netrove
