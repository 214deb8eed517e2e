#include "peer/peer_tools.h"

#include <arpa/inet.h>

#include "base/command_ids.h"
#include "base/host_port.h"
#include "base/net_socket.h"
#include "base/network_settings.h"
#include "base/tool_message.h"
#include "peer/broadcast_dlg.h"
#include "peer/broadcast_send.h"
#include "peer/chat_call.h"
#include "peer/chat_customize_page.h"
#include "peer/chat_view.h"
#include "peer/service_query.h"
#include "peer/who_am_i.h"
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
  static constexpr const char* kName = "peerQueryWorkers";
  explicit CQueryWorkersHolder(QObject* parent) : QObject(parent) {
    setObjectName(QString::fromLatin1(kName));
  }
  CQueryWorkers workers;
};

CQueryWorkersHolder& QueryHolderOf(IShellContext& shell) {
  QWidget* frame = shell.mainWindow();
  // Found by name: the holder has no meta-object of its own to cast by.
  auto* found = frame->findChild<QObject*>(QString::fromLatin1(CQueryWorkersHolder::kName),
                                           Qt::FindDirectChildrenOnly);
  if (found == nullptr) return *new CQueryWorkersHolder(frame);
  return *static_cast<CQueryWorkersHolder*>(found);
}

CQueryWorkers& QueryWorkersOf(IShellContext& shell) { return QueryHolderOf(shell).workers; }

struct HostAndPort {
  std::string host;
  std::uint16_t port = 0;  // 0: none given
};

// Asks for HOST[:PORT], as the command line takes it, offering the tool's
// recent hosts; nothing when the user cancels or the text names no host or
// a port outside 1 to 65535 (which is reported under `source`).
std::optional<HostAndPort> AskHost(IShellContext& shell, const QString& caption, int helpId,
                                   const std::string& toolKey, int source) {
  CHostPromptDlg prompt(caption, helpId, shell.mainWindow());
  prompt.useRecentHosts(toolKey);
  CToolServices& services = shell.toolServices();
  QObject::connect(&prompt, &CHostPromptDlg::helpRequested,
                   [&services](int id) { services.showHelp(id); });
  if (prompt.exec() != QDialog::Accepted) return std::nullopt;
  const std::string text = prompt.hostText().trimmed().toStdString();
  HostAndPort target;
  if (!SplitServerAndPort(text, target.host, target.port)) {
    services.reporter().PostToolMessage(
        source, "\"" + text + "\" names no host, or a port outside 1 to 65535.");
    return std::nullopt;
  }
  return target;
}

std::optional<std::uint16_t> GivenPort(const HostAndPort& target) {
  return target.port == 0 ? std::nullopt : std::optional<std::uint16_t>(target.port);
}

void StartServiceQuery(IShellContext& shell, ServiceQuery query) {
  IMainWindowReporter& reporter = shell.toolServices().reporter();
  const int source = query.source;
  const bool started = QueryWorkersOf(shell).Start(
      [query = std::move(query), &reporter](const std::shared_ptr<CNetSocket>& socket) {
        RunServiceQuery(query, *socket, reporter, SystemResolver());
      });
  if (!started) reporter.PostToolMessage(source, kNoThreadText);
}

void Daytime(IShellContext& shell) {
  const auto target =
      AskHost(shell, QStringLiteral("Obtain the current date and time of day for..."),
              CommandHelpContext(kCmdDaytime), "Daytime", kSourceDaytime);
  if (target) StartServiceQuery(shell, DaytimeQuery(target->host, GivenPort(*target)));
}

void QuoteOfTheDay(IShellContext& shell) {
  const auto target =
      AskHost(shell, QStringLiteral("Obtain the quote of the day for..."),
              CommandHelpContext(kCmdQuoteOfTheDay), "Quote of the Day", kSourceQuoteOfTheDay);
  if (target) {
    StartServiceQuery(
        shell, QuoteOfTheDayQuery(target->host, GivenPort(*target).value_or(kQuoteOfTheDayPort)));
  }
}

void WhoAmI(IShellContext& shell) {
  IMainWindowReporter& reporter = shell.toolServices().reporter();
  const bool started = QueryWorkersOf(shell).Start([&reporter](const std::shared_ptr<CNetSocket>&) {
    reporter.PostToolMessage(kSourceWhoAmI, WhoAmIText(SystemAccountNames(), SystemResolver()));
  });
  if (!started) reporter.PostToolMessage(kSourceWhoAmI, kNoThreadText);
}

void ComposeBroadcast(IShellContext& shell) {
  CBroadcastDlg compose(shell.mainWindow());
  CToolServices& services = shell.toolServices();
  QObject::connect(&compose, &CBroadcastDlg::helpRequested,
                   [&services](int id) { services.showHelp(id); });
  if (compose.exec() != QDialog::Accepted) return;
  SocketAddress to = LimitedBroadcastAddress();
  in_addr chosen{};
  if (inet_pton(AF_INET, compose.targetAddress().c_str(), &chosen) == 1) {
    to = SocketAddress::FromIPv4(chosen, kLocalBroadcastPort);
  }
  SendBroadcast(compose.wireText(), to, services.reporter());
}

void ShowBroadcast(IShellContext& shell, const QString& text) {
  CBroadcastDlg box(text, shell.mainWindow());
  box.raise();
  box.activateWindow();
  box.exec();
}

void CallForChat(IShellContext& shell) {
  const auto target = AskHost(shell, QStringLiteral("Chat with..."), CommandHelpContext(kCmdChat),
                              "Chat", kSourceWinSock);
  if (!target) return;
  IMainWindowReporter& reporter = shell.toolServices().reporter();
  // The window opens on the interface thread, unless the main window (and
  // with it the holder of the workers) is gone by then.
  CQueryWorkersHolder* holder = &QueryHolderOf(shell);
  const bool started = holder->workers.Start([&shell, &reporter, holder, host = target->host,
                                              port = GivenPort(*target).value_or(kChatServicePort)](
                                                 const std::shared_ptr<CNetSocket>& socket) {
    ApplyConnectSettings(*socket, ReadNetworkSettings());
    if (const SocketStatus status = socket->Connect(host, port); !status) {
      ReportConnectError(reporter, status, *socket);
      return;
    }
    QMetaObject::invokeMethod(
        holder,
        [&shell, socket, host] { OpenChatWindow(shell, socket, QString::fromStdString(host)); },
        Qt::QueuedConnection);
  });
  if (!started) reporter.PostToolMessage(kSourceWinSock, kNoThreadText);
}

}  // namespace

void AddPeerTools(ToolCatalog& catalog) {
  // Chat windows open only for calls, never from the launcher.
  catalog.templates.push_back({129, QStringLiteral("Chat"), 0, QStringLiteral("Chat"),
                               [](CToolServices& s) { return new CChatView(s); }});
  catalog.commands[kCmdChat] = CallForChat;
  catalog.chatCall = [answerer = std::make_shared<CChatCallAnswerer>()](
                         IShellContext& shell, std::unique_ptr<CNetSocket> socket,
                         const SocketAddress& caller) {
    answerer->Answer(shell, std::move(socket), caller);
  };
  catalog.page(CustomizeTab::Chat) = [](IShellContext& shell) {
    return new CCustomizeChat(shell.toolServices().reporter());
  };
  catalog.commands[kCmdDaytime] = Daytime;
  catalog.commands[kCmdQuoteOfTheDay] = QuoteOfTheDay;
  catalog.commands[kCmdWhoAmI] = WhoAmI;
  catalog.commands[kCmdLocalBroadcast] = ComposeBroadcast;
  catalog.broadcast = ShowBroadcast;
}

}  // namespace netrove
