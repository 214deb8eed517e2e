#pragma once
// Everything the shell launches: one template per tool window, the commands
// that run dialogs or threads instead, the handlers of what the listeners
// receive, the TFTP server and the pages of the Customize sheet. Each tool
// folder fills in its own entries (AddDiagnosticsTools, AddQueryTools, ...);
// the application assembles the whole catalog in one place.

#include <QString>
#include <array>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace netrove {

class CCustomizePage;
class CNetSocket;
class SocketAddress;
class CToolServices;
class CToolView;
class IMainWindowReporter;
class IShellContext;
class ITftpServer;

using ToolFactory = std::function<CToolView*(CToolServices&)>;

// A tool window template: its resource id, the type name that names its
// settings key, the launcher command that opens it (0: none, the tool opens
// its windows itself), the title of a new window and the view factory (empty
// while the tool is not built: its command stays disabled).
struct ToolTemplate {
  int resourceId = 0;
  QString typeName;
  int commandId = 0;
  QString windowTitle;
  ToolFactory create;
  // A window that takes long to build shows the wait cursor meanwhile.
  bool opensSlowly = false;
  // A command no menu of the original offers is hidden, not greyed, while
  // its tool is not built.
  bool hiddenUntilBuilt = false;
};

using CommandHandler = std::function<void(IShellContext&)>;
using ChatCallHandler =
    std::function<void(IShellContext&, std::unique_ptr<CNetSocket>, const SocketAddress&)>;
using BroadcastHandler = std::function<void(IShellContext&, const QString&)>;
using TftpServerFactory = std::function<std::unique_ptr<ITftpServer>(IMainWindowReporter&)>;
using CustomizePageFactory = std::function<CCustomizePage*(IShellContext&)>;

// The tabs of the Customize sheet in their fixed order; the last is the
// shell's own page.
enum class CustomizeTab {
  Chat,
  Finger,
  Ftp,
  Mail,
  Newsreader,
  NicName,
  Ping,
  Tftp,
  TraceRoute,
  Netrove
};
inline constexpr std::size_t kCustomizeTabCount = 10;
QString CustomizeTabCaption(CustomizeTab tab);

struct ToolCatalog {
  // In registration order: the first template of a type name wins.
  std::vector<ToolTemplate> templates;
  // Commands that run a dialog or a thread (Who am I?, Daytime, Address
  // Book, ...), by command id; a command without a handler is disabled.
  std::map<int, CommandHandler> commands;
  // Empty handlers keep the shell's stand-ins: a chat call is hung up, a
  // broadcast is shown in a plain box.
  ChatCallHandler chatCall;
  BroadcastHandler broadcast;
  TftpServerFactory tftpServer;
  // One factory per Customize tab; a tab without a factory is left out.
  std::array<CustomizePageFactory, kCustomizeTabCount> customizePages;

  const ToolTemplate* findByCommand(int commandId) const;
  const ToolTemplate* findByType(const QString& typeName) const;
  CustomizePageFactory& page(CustomizeTab tab) {
    return customizePages[static_cast<std::size_t>(tab)];
  }
};

}  // namespace netrove
