#include "shell/tool_catalog.h"

#include "desktop/address_book_dialog.h"
#include "desktop/calendar_dialog.h"
#include "desktop/system_report.h"
#include "diagnostics/customize_ping_page.h"
#include "diagnostics/customize_traceroute_page.h"
#include "diagnostics/ping_view.h"
#include "diagnostics/traceroute_view.h"
#include "shell/command_ids.h"
#include "shell/customize_netrove.h"
#include "shell/net_socket.h"
#include "shell/shell_context.h"
#include "shell/tftp_server_hook.h"
#include "shell/tool_view.h"

namespace netrove {

const ToolTemplate* ToolCatalog::findByCommand(int commandId) const {
  if (commandId == 0) return nullptr;
  for (const ToolTemplate& tool : templates) {
    if (tool.commandId == commandId) return &tool;
  }
  return nullptr;
}

const ToolTemplate* ToolCatalog::findByType(const QString& typeName) const {
  for (const ToolTemplate& tool : templates) {
    if (tool.typeName == typeName) return &tool;
  }
  return nullptr;
}

CustomizePageSlot* ToolCatalog::findPage(const QString& caption) {
  for (CustomizePageSlot& slot : customizePages) {
    if (slot.caption == caption) return &slot;
  }
  return nullptr;
}

std::vector<QString> CustomizePageCaptions() {
  return {QStringLiteral("Chat"),       QStringLiteral("Finger"),        QStringLiteral("FTP"),
          QStringLiteral("Newsreader"), QStringLiteral("NicName/WhoIs"), QStringLiteral("Ping"),
          QStringLiteral("TFTP"),       QStringLiteral("traceroute"),    QStringLiteral("Netrove")};
}

ToolCatalog BuildToolCatalog() {
  ToolCatalog catalog;
  // The tool windows, in registration order. A tool is built in by giving
  // its template a factory, e.g. [](CToolServices& s) { return new CPingView(s); }.
  catalog.templates = {
      {129, QStringLiteral("Chat"), 0, QStringLiteral("Chat"), {}},
      {146, QStringLiteral("FTP"), kCmdFtp, QStringLiteral("File Transfer Protocol (FTP)"), {}},
      {130,
       QStringLiteral("TFTP"),
       kCmdTftp,
       QStringLiteral("Trivial File Transfer Protocol (TFTP)"),
       {}},
      {131, QStringLiteral("Ping"), kCmdPing, QStringLiteral("Ping"),
       [](CToolServices& s) { return new CPingView(s); }},
      {147, QStringLiteral("NicName"), kCmdNicName, QStringLiteral("NicName/WhoIs"), {}},
      {149, QStringLiteral("Finger"), kCmdFinger, QStringLiteral("Finger"), {}},
      {150, QStringLiteral("Mail"), kCmdMail, QStringLiteral("Mail"), {}},
      {132, QStringLiteral("TraceRoute"), kCmdTraceRoute, QStringLiteral("Trace Route"),
       [](CToolServices& s) { return new CTraceRouteView(s); }},
      {151, QStringLiteral("NNTP"), kCmdNewsreader, QStringLiteral("News Reader"), {}},
      {152, QStringLiteral("NNTPPost"), 0, QStringLiteral("NNTPPost"), {}},
  };

  // Commands that run a dialog or a thread.
  catalog.commands[kCmdAddressBook] = [](IShellContext& shell) {
    RunAddressBook(shell.mainWindow(),
                   [&shell](int contextId) { shell.toolServices().showHelp(contextId); });
  };
  catalog.commands[kCmdCalendar] = [](IShellContext& shell) {
    RunCalendarDialog(shell.mainWindow());
  };
  catalog.commands[kCmdHardware] = [](IShellContext& shell) {
    PostHardwareReport(shell.toolServices().reporter());
  };
  catalog.commands[kCmdSoftware] = [](IShellContext& shell) {
    PostSoftwareReport(shell.toolServices().reporter());
  };

  // The Customize sheet's tabs; a tool fills in its slot, e.g.
  // catalog.findPage(QStringLiteral("Ping"))->create =
  //     [](IShellContext&) { return new CCustomizePing; };
  for (const QString& caption : CustomizePageCaptions())
    catalog.customizePages.push_back({caption, {}});
  catalog.findPage(QStringLiteral("Ping"))->create = [](IShellContext&) {
    return new CCustomizePing;
  };
  catalog.findPage(QStringLiteral("traceroute"))->create = [](IShellContext& shell) {
    return new CCustomizeTraceRoute(shell.toolServices().reporter());
  };
  catalog.findPage(QStringLiteral("Netrove"))->create = [](IShellContext& shell) {
    return new CCustomizeNetrove(shell);
  };
  return catalog;
}

}  // namespace netrove
