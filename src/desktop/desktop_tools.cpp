#include "desktop/desktop_tools.h"

#include "base/command_ids.h"
#include "desktop/calendar_dialog.h"
#include "desktop/system_report.h"
#include "widgets/address_book_dialog.h"
#include "widgets/shell_context.h"
#include "widgets/tool_catalog.h"
#include "widgets/tool_view.h"

namespace netrove {

void AddDesktopTools(ToolCatalog& catalog) {
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
}

}  // namespace netrove
