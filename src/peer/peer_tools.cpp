#include "peer/peer_tools.h"

#include <QPointer>

#include "base/net_socket.h"
#include "base/tool_message.h"
#include "peer/broadcast_dlg.h"
#include "peer/broadcast_send.h"
#include "peer/service_query.h"
#include "peer/who_am_i.h"
#include "widgets/command_ids.h"
#include "widgets/host_prompt_dialog.h"
#include "widgets/shell_context.h"
#include "widgets/tool_catalog.h"
#include "widgets/tool_view.h"

namespace netrove {
namespace {

// The one-shot queries' workers live as long as the main window, so none
// reports to it after it is gone; closing it wakes and joins them.
class CQueryWorkersHolder : public QObject {
 public:
  explicit CQueryWorkersHolder(QObject* parent) : QObject(parent) {}
  CQueryWorkers workers;
};

CQueryWorkers& QueryWorkersOf(IShellContext& shell) {
  QWidget* frame = shell.mainWindow();
  auto* holder = frame->findChild<CQueryWorkersHolder*>(QString(), Qt::FindDirectChildrenOnly);
  if (holder == nullptr) holder = new CQueryWorkersHolder(frame);
  return holder->workers;
}

// Asks for the host; nothing when the user cancels.
std::optional<std::string> AskHost(IShellContext& shell, const QString& caption, int helpId) {
  CHostPromptDlg prompt(caption, helpId, shell.mainWindow());
  CToolServices& services = shell.toolServices();
  QObject::connect(&prompt, &CHostPromptDlg::helpRequested,
                   [&services](int id) { services.showHelp(id); });
  if (prompt.exec() != QDialog::Accepted) return std::nullopt;
  return prompt.hostText().toStdString();
}

void StartServiceQuery(IShellContext& shell, ServiceQuery query) {
  IMainWindowReporter& reporter = shell.toolServices().reporter();
  QueryWorkersOf(shell).Start([query = std::move(query), &reporter](CNetSocket& socket) {
    RunServiceQuery(query, socket, reporter, SystemResolver());
  });
}

void Daytime(IShellContext& shell) {
  const auto host = AskHost(shell, QStringLiteral("Obtain the current date and time of day for..."),
                            CommandHelpContext(kCmdDaytime));
  if (host) StartServiceQuery(shell, DaytimeQuery(*host));
}

void QuoteOfTheDay(IShellContext& shell) {
  const auto host = AskHost(shell, QStringLiteral("Obtain the quote of the day for..."),
                            CommandHelpContext(kCmdQuoteOfTheDay));
  if (host) StartServiceQuery(shell, QuoteOfTheDayQuery(*host));
}

void WhoAmI(IShellContext& shell) {
  IMainWindowReporter& reporter = shell.toolServices().reporter();
  QueryWorkersOf(shell).Start([&reporter](CNetSocket&) {
    reporter.PostToolMessage(kSourceWhoAmI, WhoAmIText(SystemAccountNames(), SystemResolver()));
  });
}

void ComposeBroadcast(IShellContext& shell) {
  CBroadcastDlg compose(shell.mainWindow());
  CToolServices& services = shell.toolServices();
  QObject::connect(&compose, &CBroadcastDlg::helpRequested,
                   [&services](int id) { services.showHelp(id); });
  if (compose.exec() != QDialog::Accepted) return;
  SendBroadcast(compose.wireText(), LimitedBroadcastAddress(), services.reporter());
}

void ShowBroadcast(IShellContext& shell, const QString& text) {
  CBroadcastDlg box(text, shell.mainWindow());
  box.raise();
  box.activateWindow();
  box.exec();
}

}  // namespace

void AddPeerTools(ToolCatalog& catalog) {
  // Not built yet: chat windows open only for calls.
  catalog.templates.push_back({129, QStringLiteral("Chat"), 0, QStringLiteral("Chat"), {}});
  catalog.commands[kCmdDaytime] = Daytime;
  catalog.commands[kCmdQuoteOfTheDay] = QuoteOfTheDay;
  catalog.commands[kCmdWhoAmI] = WhoAmI;
  catalog.commands[kCmdLocalBroadcast] = ComposeBroadcast;
  catalog.broadcast = ShowBroadcast;
}

}  // namespace netrove
