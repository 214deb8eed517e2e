#include "query/query_tools.h"

#include "query/mail_customize_page.h"
#include "query/mail_view.h"
#include "widgets/command_ids.h"
#include "widgets/tool_catalog.h"

namespace netrove {

void AddQueryTools(ToolCatalog& catalog) {
  // Not built yet: the templates keep their commands, greyed.
  catalog.templates.push_back(
      {147, QStringLiteral("NicName"), kCmdNicName, QStringLiteral("NicName/WhoIs"), {}});
  catalog.templates.push_back(
      {149, QStringLiteral("Finger"), kCmdFinger, QStringLiteral("Finger"), {}});
  catalog.templates.push_back({150, QStringLiteral("Mail"), kCmdMail, QStringLiteral("Mail"),
                               [](CToolServices& s) { return new CMailView(s); }, false, true});
  catalog.page(CustomizeTab::Mail) = [](IShellContext&) { return new CCustomizeMail; };
}

}  // namespace netrove
