#include "query/query_tools.h"

#include "base/command_ids.h"
#include "query/finger_customize_page.h"
#include "query/finger_view.h"
#include "query/mail_customize_page.h"
#include "query/mail_view.h"
#include "query/nicname_customize_page.h"
#include "query/nicname_view.h"
#include "widgets/shell_context.h"
#include "widgets/tool_catalog.h"
#include "widgets/tool_view.h"

namespace netrove {

void AddQueryTools(ToolCatalog& catalog) {
  catalog.templates.push_back({147, QStringLiteral("NicName"), kCmdNicName,
                               QStringLiteral("NicName/WhoIs"),
                               [](CToolServices& s) { return new CNicNameView(s); }});
  catalog.templates.push_back({149, QStringLiteral("Finger"), kCmdFinger, QStringLiteral("Finger"),
                               [](CToolServices& s) { return new CFingerView(s); }});
  // No menu of the original offers Mail: its command shows once built.
  catalog.templates.push_back({150, QStringLiteral("Mail"), kCmdMail, QStringLiteral("Mail"),
                               [](CToolServices& s) { return new CMailView(s); }, false, true});
  catalog.page(CustomizeTab::Finger) = [](IShellContext& shell) {
    return new CCustomizeFinger(shell.toolServices().reporter());
  };
  catalog.page(CustomizeTab::NicName) = [](IShellContext& shell) {
    return new CCustomizeNicName(shell.toolServices().reporter());
  };
  catalog.page(CustomizeTab::Mail) = [](IShellContext&) { return new CCustomizeMail; };
}

}  // namespace netrove
